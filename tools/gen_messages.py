#!/usr/bin/env python3
"""Writes src/messages/catalogue.inc, the messages' table, from src/messages/ja.po.

ja.po holds every message the programs show: msgctxt is its key, msgid its
English, msgstr its Japanese. The programs' own texts (help, summaries) have
no msgctxt: their English is their key, and the code marks each with Phrase
or Say. Those are found in the sources with xgettext, and the catalogue is
refused when one lacks its Japanese or when it holds one no longer used. The table lists {key, English, Japanese} in key
order, so that the program finds a key by binary search; it is committed, so a
build needs no Python and no gettext.

It also writes src/messages/keys.inc, the key of each ProblemCode and each
ProblemDetail of src/runtime/problem.h in the order the enums give them, so
that the program finds a code's key by indexing, and a code without its
message is found here rather than by a user.

Before writing, the catalogue must pass `msgfmt --check` (header, format
placeholders of entries marked python-brace-format), hold each key once, give
every key both texts, and hold a message for every code.

Usage: gen_messages.py [--po FILE] [--out FILE] [--keys FILE] [--check]
  --check     exits 1 if a FILE differs from what would be written.
"""

import argparse
import pathlib
import re
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parent.parent
ESCAPES = {"n": "\n", "t": "\t", '"': '"', "\\": "\\"}


def unquote(text, where):
    if not (len(text) >= 2 and text[0] == '"' and text[-1] == '"'):
        sys.exit(f"{where}: not a quoted string")
    body, out, i = text[1:-1], [], 0
    while i < len(body):
        if body[i] == "\\":
            if i + 1 >= len(body) or body[i + 1] not in ESCAPES:
                sys.exit(f"{where}: an escape this script does not know")
            out.append(ESCAPES[body[i + 1]])
            i += 2
        else:
            out.append(body[i])
            i += 1
    return "".join(out)


def parse(path, template=False):
    """The entries of a PO file as (key, English, Japanese), the header left out.

    An entry without msgctxt is keyed by its English. In a template (what
    xgettext writes) every msgstr is empty: the entries are (key, English,
    where), `where` the first of its "#:" places."""
    entries, entry, field = [], {}, None

    def close():
        nonlocal place
        if entry:
            entry["place"] = place
            entries.append(dict(entry))
            entry.clear()
        place = None

    place = None
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        where = f"{path}:{number}"
        line = line.strip()
        if line.startswith("#:") and place is None:
            place = line[2:].split()[0]
        if not line or line.startswith("#"):
            if not line:
                close()
                field = None
            continue
        match = re.match(r'(msgctxt|msgid|msgstr)\s+(".*")$', line)
        if match:
            field = match.group(1)
            if field in entry or (field == "msgctxt" and entry):
                sys.exit(f"{where}: {field} twice in one entry, or out of order")
            entry[field] = unquote(match.group(2), where)
        elif line.startswith('"') and field:
            entry[field] += unquote(line, where)
        else:
            sys.exit(f"{where}: not a line of the PO forms this script reads")
    close()

    found, keys = [], set()
    for entry in entries:
        if entry.get("msgid") == "" and "msgctxt" not in entry:
            continue  # the header
        key = entry.get("msgctxt", entry.get("msgid"))
        if not key:
            sys.exit(f"{path}: an entry without a key (msgctxt) or English")
        if key in keys:
            sys.exit(f"{path}: the key {key!r} is given twice")
        keys.add(key)
        if template:
            found.append((key, entry["msgid"], entry["place"]))
            continue
        if not entry.get("msgid") or not entry.get("msgstr"):
            sys.exit(f"{path}: {key!r} lacks its English or its Japanese")
        if "msgctxt" not in entry:
            # Keyed by its English, it has no code to check its placeholders.
            english, japanese = (set(re.findall(r"\{(\w+)\}", t)) for t in
                                 (entry["msgid"], entry["msgstr"]))
            if english != japanese:
                sys.exit(f"{path}: {key!r}: the Japanese has the placeholders "
                         f"{sorted(japanese)}, the English {sorted(english)}")
        found.append((key, entry["msgid"], entry["msgstr"]))
    return sorted(found)


def check_phrases(entries):
    """Refuses a catalogue that lacks a text the sources mark, or keeps one
    they no longer mark."""
    sources = sorted(str(f.relative_to(ROOT)) for f in (ROOT / "src").rglob("*")
                     if f.suffix in (".cpp", ".h") and f.is_file())
    with tempfile.TemporaryDirectory() as folder:
        pot = pathlib.Path(folder) / "phrases.pot"
        subprocess.run(["xgettext", "--language=C++", "--from-code=UTF-8", "--keyword=",
                        "--keyword=Phrase:1", "--keyword=Say:2", "--no-wrap", "-o", str(pot),
                        *sources], cwd=ROOT, check=True)
        marked = parse(pot, template=True) if pot.exists() else []
    have = {key for key, english, _ in entries if key == english}
    wanted = {key for key, _, _ in marked}
    missing = [(place, key) for key, _, place in marked if key not in have]
    for place, key in missing:
        print(f"{place}: {key!r} has no Japanese in src/messages/ja.po", file=sys.stderr)
    for key in sorted(have - wanted):
        print(f"src/messages/ja.po: {key!r} is not used by the sources", file=sys.stderr)
    return not missing and have <= wanted


def literal(text):
    escaped = text.replace("\\", "\\\\").replace('"', '\\"').replace("\n", "\\n")
    return '"' + escaped + '"'


def generate(entries):
    lines = [
        "// Generated by tools/gen_messages.py from src/messages/ja.po: edit that file",
        "// and run the script, not this file. {key, English, Japanese}, in key order.",
    ]
    for key, english, japanese in entries:
        lines.append(f"{{{literal(key)},\n {literal(english)},\n {literal(japanese)}}},")
    return ("\n".join(lines) + "\n").encode("utf-8")


def enumerators(header, name):
    """The enumerators of `enum class name` in `header`, in order."""
    text = header.read_text(encoding="utf-8")
    match = re.search(r"enum class " + name + r" \{(.*?)\};", text, re.S)
    if not match:
        sys.exit(f"{header}: no enum class {name}")
    body = re.sub(r"//[^\n]*", "", match.group(1))
    return [word.strip() for word in body.split(",") if word.strip()]


def generate_keys(header, entries):
    """The keys of each ProblemCode and ProblemDetail, in the enums' order."""
    keys = {key for key, _, _ in entries}
    codes = enumerators(header, "ProblemCode")
    details = ["ProblemDetail." + d for d in enumerators(header, "ProblemDetail")[1:]]
    for key in codes + details:
        if key not in keys:
            sys.exit(f"{header}: {key} has no message in the catalogue")
    lines = [
        "// Generated by tools/gen_messages.py from src/runtime/problem.h: the key of",
        "// each code, in the enum's order (ProblemDetail::kNone has none).",
        "inline constexpr std::string_view kProblemCodeKeys[] = {",
        *[f"    {literal(key)}," for key in codes],
        "};",
        "inline constexpr std::string_view kProblemDetailKeys[] = {",
        '    "",',
        *[f"    {literal(key)}," for key in details],
        "};",
    ]
    return ("\n".join(lines) + "\n").encode("utf-8")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--po", type=pathlib.Path, default=ROOT / "src/messages/ja.po")
    parser.add_argument("--out", type=pathlib.Path, default=ROOT / "src/messages/catalogue.inc")
    parser.add_argument("--keys", type=pathlib.Path, default=ROOT / "src/messages/keys.inc")
    parser.add_argument("--header", type=pathlib.Path, default=ROOT / "src/runtime/problem.h")
    parser.add_argument("--check", action="store_true")
    args = parser.parse_args()

    checked = subprocess.run(["msgfmt", "--check", "-o", "/dev/null", str(args.po)])
    if checked.returncode != 0:
        return 1
    entries = parse(args.po)
    if not check_phrases(entries):
        return 1
    outputs = {args.out: generate(entries), args.keys: generate_keys(args.header, entries)}
    for out, data in outputs.items():
        if args.check:
            if not out.is_file() or out.read_bytes() != data:
                print(f"out of date: {out}", file=sys.stderr)
                return 1
        else:
            out.write_bytes(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
