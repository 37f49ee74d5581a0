#!/usr/bin/env python3
"""Writes a big game .tbl for measuring how much memory loading one takes.

Usage: bench/big-tbl.py MEGABYTES FILE [--seed N]

The table is UTF-8 and always the same for the same size and seed. Its codes
keep apart by their first byte, so that none begins another, as a real
game's do:
  00-7F   a few one-byte codes: letters, digits, an end, a line break and a
          control with a parameter byte;
  80-BF   two-byte codes, each one kana or kanji;
  C0-EF   three-byte codes once those run out, and F0-FE four-byte codes:
          most one kana or kanji, about a third DTE/MTE texts of 2 to 6
          characters (kana words, kanji pairs).
A 20 MB table holds about 1.5 million codes. bench/tbl-memory.sh writes the
tables it measures with this.
"""

import argparse
import random
import sys

KANA = [chr(c) for c in range(0x3041, 0x3094)] + [chr(c) for c in range(0x30A1, 0x30F7)]
KANJI = [chr(c) for c in range(0x4E00, 0x9FA0)]
# Every kana and kanji once, first, so each has a code of its own.
SINGLES = KANA + KANJI


def codes():
    """Every code the table may use, in the order it uses them."""
    for b in range(0x80, 0xC0):
        for c in range(0x100):
            yield bytes([b, c])
    for b in range(0xC0, 0xF0):
        for c in range(0x10000):
            yield bytes([b, c >> 8, c & 0xFF])
    for b in range(0xF0, 0xFF):
        for c in range(0x1000000):
            yield bytes([b, c >> 16, (c >> 8) & 0xFF, c & 0xFF])


def text(random_gen, index):
    """The text of the index-th multi-byte code."""
    if index < len(SINGLES):
        return SINGLES[index]
    roll = random_gen.random()
    if roll < 0.65:
        return random_gen.choice(KANJI if roll < 0.5 else KANA)
    if roll < 0.85:
        return "".join(random_gen.choice(KANA) for _ in range(random_gen.randint(2, 6)))
    return "".join(random_gen.choice(KANJI) for _ in range(random_gen.randint(2, 3)))


def main():
    parser = argparse.ArgumentParser(description="Writes a big game .tbl.")
    parser.add_argument("megabytes", type=float)
    parser.add_argument("file")
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    size = int(args.megabytes * (1 << 20))
    random_gen = random.Random(args.seed)

    lines = ["# made by bench/big-tbl.py", "@big"]
    lines += ["%02X=%s" % (0x20 + i, chr(0x41 + i)) for i in range(26)]
    lines += ["%02X=%s" % (0x3A + i, chr(0x30 + i)) for i in range(10)]
    lines += ["/00=<end>", "*01", "$02=<wait>,1", "$03=<color>,2", "/7F"]
    written = sum(len(line.encode()) + 1 for line in lines)
    with open(args.file, "w", encoding="utf-8", newline="\n") as out:
        out.write("\n".join(lines) + "\n")
        for index, code in enumerate(codes()):
            line = "%s=%s\n" % (code.hex().upper(), text(random_gen, index))
            out.write(line)
            written += len(line.encode())
            if written >= size:
                break
        else:
            sys.exit("big-tbl.py: too big a table")


if __name__ == "__main__":
    main()
