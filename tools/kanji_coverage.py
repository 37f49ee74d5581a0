#!/usr/bin/env python3
"""Measures how many kanji of real Japanese text the tables give a code.

Counts every kanji occurrence (CJK unified and compatibility ideographs) in the
corpus and prints the share that stands in a one-character cell of the tables,
then the most frequent kanji without a code.

The default corpus is the Japanese manual pages of the Debian package
manpages-ja (translations of the Linux man-pages, coreutils, shadow and other
programs' manuals), with the roff comment lines left out, since those hold the
translators' notes and credits rather than the manual's text.

Usage: kanji_coverage.py [--tables DIR] [--missing N] [FILE ...]
  FILE     text files, plain or gzip, UTF-8 (default: the manpages-ja pages)
"""

import argparse
import collections
import gzip
import pathlib
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent


def is_kanji(ch):
    o = ord(ch)
    return (0x3400 <= o <= 0x4DBF or 0x4E00 <= o <= 0x9FFF or 0xF900 <= o <= 0xFAFF
            or 0x20000 <= o <= 0x3FFFF)


def decode_table(data):
    """The encoding rule of the table reader: BOM, then whole-file UTF-8, else cp932."""
    if data.startswith(b"\xef\xbb\xbf"):
        return data[3:].decode("utf-8")
    if any(b >= 0x80 for b in data):
        try:
            return data.decode("utf-8")
        except UnicodeDecodeError:
            pass
    return data.decode("cp932", errors="replace")


def table_characters(folder):
    chars = set()
    for name in ("Zezovar.ini", "Zezovar_ex.ini"):
        text = decode_table((folder / name).read_bytes())
        for line in text.replace("\r\n", "\n").replace("\r", "\n").split("\n"):
            if line[:1] in ("/", "\uFF0F") or not line.strip(" "):
                continue
            pieces = line.replace("\uFF0C", ",").split(",")
            chars.update(p.strip(" ") for p in pieces[1:17] if len(p.strip(" ")) == 1)
    return chars


def default_corpus():
    try:
        listed = subprocess.run(["dpkg", "-L", "manpages-ja"], check=True,
                                capture_output=True, text=True).stdout.split("\n")
    except (OSError, subprocess.CalledProcessError):
        sys.exit("manpages-ja is not installed (apt-get install manpages-ja), or name FILEs")
    return sorted(pathlib.Path(p) for p in listed
                  if p.startswith("/usr/share/man/ja/") and p.endswith(".gz"))


def count_kanji(paths):
    counts = collections.Counter()
    for path in paths:
        opener = gzip.open if path.suffix == ".gz" else open
        with opener(path, "rt", encoding="utf-8", errors="replace") as f:
            for line in f:
                if line.startswith(('.\\"', "'\\\"")):
                    continue
                counts.update(ch for ch in line if is_kanji(ch))
    return counts


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tables", type=pathlib.Path, default=ROOT / "tables")
    parser.add_argument("--missing", type=int, default=20, help="how many missing kanji to list")
    parser.add_argument("files", nargs="*", type=pathlib.Path)
    args = parser.parse_args()

    paths = args.files or default_corpus()
    counts = count_kanji(paths)
    total = sum(counts.values())
    if total == 0:
        sys.exit("the corpus holds no kanji")
    coded = table_characters(args.tables)
    covered = sum(n for ch, n in counts.items() if ch in coded)
    missing = [(n, ch) for ch, n in counts.items() if ch not in coded]
    missing.sort(key=lambda m: (-m[0], m[1]))
    print(f"corpus: {len(paths)} files, {total} kanji occurrences, {len(counts)} distinct kanji")
    print(f"tables: {args.tables} ({sum(1 for c in coded if is_kanji(c))} kanji with a code)")
    print(f"coverage: {covered / total:.2%} of the kanji occurrences have a code "
          f"({total - covered} without, {len(missing)} distinct)")
    if missing and args.missing > 0:
        print("most frequent without a code: " +
              " ".join(f"{ch}{n}" for n, ch in missing[:args.missing]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
