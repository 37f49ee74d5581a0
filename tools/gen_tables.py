#!/usr/bin/env python3
"""Writes the default character tables tables/Zezovar.ini and tables/Zezovar_ex.ini.

The tables give every character a place in a 6 x 16 x 16 grid: pages 0-4 come
from Zezovar.ini (80 data lines), page 5 from Zezovar_ex.ini (16 data lines).
The files are code page 932 with CR LF line ends.

What goes in, in this order, one character per cell:
  1. Japanese punctuation and common symbols,
  2. hiragana, then katakana,
  3. half-width ASCII letters, digits and punctuation,
  4. full-width digits and Latin letters,
  5. kanji by their rank of use in newspapers as KANJIDIC2 gives it (its
     "freq" element), most used first, until the cells run out. Ranking by use
     rather than by school grade gives codes to the kanji of ordinary text
     (了 索 削 更 択 致 項 ...) before rare ones taught early.
Page 0 leaves empty the bytes a game can't tell apart from a lead code or a
fixed code (18, 20-24, 50). Characters the converter handles itself (spaces,
tag marks, the comma and the line-break mark) never get a cell.

KANJIDIC2 is the work of the Electronic Dictionary Research and Development
Group (EDRDG), used under the Creative Commons Attribution-ShareAlike 4.0
licence; Debian ships it as kanjidic-xml.

Usage: gen_tables.py [--out-dir DIR] [--kanjidic FILE] [--check]
  --kanjidic  KANJIDIC2 XML, plain or gzip (default: kanjidic-xml's file)
  --check     exits 1 if the files in DIR differ from what would be written.
"""

import argparse
import gzip
import pathlib
import sys
import xml.etree.ElementTree as ElementTree

# KANJIDIC2 as the Debian package kanjidic-xml installs it.
DEFAULT_KANJIDIC = pathlib.Path("/usr/share/edict/kanjidic2.xml.gz")

PUNCTUATION = (
    "、。・ー「」『』！？…～：；゛゜ヽヾゝゞ々〃〆〇―‐‥‘’“”（）［］｛｝【】〈〉《》〔〕"
    "＋－×÷＝％＃＆＊＠＄￥☆★○●◎◇◆□■△▲▽▼※→←↑↓♪♂♀"
)
HIRAGANA = "".join(chr(c) for c in range(0x3041, 0x3094))  # ぁ..ん
KATAKANA = "".join(chr(c) for c in range(0x30A1, 0x30F7))  # ァ..ヶ
ASCII = (
    "0123456789"
    "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
    "abcdefghijklmnopqrstuvwxyz"
    "!\"#$%&'()*+-./:;=?@[\\]^_`{|}~"
)
FULL_WIDTH_ALNUM = "".join(
    chr(c)
    for lo, hi in ((0xFF10, 0xFF19), (0xFF21, 0xFF3A), (0xFF41, 0xFF5A))
    for c in range(lo, hi + 1)
)

# Characters the converter or the table reader treat specially.
FORBIDDEN = set(" \u3000<>,\uFF1C\uFF1E\uFF0C\u9C2F\r\n\t")

PAGES, ROWS, COLUMNS = 6, 16, 16
MAIN_PAGES = 5
LEAD_CODES = ["", "20", "21", "22", "23", "18"]
# A byte on page 0 equal to a lead code or to a fixed code (line break 24,
# full-width space 50) would be ambiguous to the game.
RESERVED_PAGE0_BYTES = {0x18, 0x20, 0x21, 0x22, 0x23, 0x24, 0x50}

MAIN_HEADER = """\
/ ----------------------------------------------------------------------------
/ Zezovar.ini  文字テーブル（メイン）　ページ0～4
/ このファイルは tools/gen_tables.py が生成します。
/ 漢字の選択と順序は KANJIDIC2 の新聞での使用頻度順位によります。
/ KANJIDIC2 は Electronic Dictionary Research and Development Group (EDRDG)
/ の著作物で、Creative Commons 表示-継承 4.0 (CC BY-SA 4.0) の下で使用しています。
/
/ 書式：
/ ・先頭の文字が「/」（または全角の「／」）の行はコメントです。
/ ・空白だけの行は読み飛ばします。
/ ・データ行は「ラベル,セル0,セル1,…,セルF」の形で、ラベルの後に
/ 　カンマ区切りで16個のセル（列0～F）が続きます。ラベルは使われません。
/ ・セルの前後の空白は取り除かれます。1つのセルに1文字を書きます。
/ ・データ行16行で1ページです。行の位置がコードの上位の16進数字、
/ 　列の位置が下位の16進数字になります。
/ ・ページごとの先行コード：ページ0はなし、ページ1～5は 20、21、22、23、18。
/ 　このファイルはページ0から、Zezovar_ex.ini はページ5を埋めます。
/ ・改行は 24、全角スペースは 50 に固定です。
/ ・ページ0の 18、20～24、50 は先行コード・固定コードと区別できないため空けてあります。
/
/ Format:
/ - A line whose first character is "/" (or the full-width solidus) is a comment.
/ - A line of spaces only is skipped.
/ - A data line is a label followed by 16 comma-separated cells (columns 0-F);
/   the label is not used. Cells are trimmed; each holds one character.
/ - 16 data lines make a page. The row gives the first hex digit of the code,
/   the column the second.
/ - Lead codes: page 0 none, pages 1-5: 20, 21, 22, 23, 18. This file fills the
/   pages from 0 on; Zezovar_ex.ini fills page 5.
/ - A line break is always 24 and the full-width space always 50.
/ - On page 0 the cells 18, 20-24 and 50 are left empty: those bytes are lead
/   codes or fixed codes.
/
/ The kanji and their order follow the newspaper frequency ranks of KANJIDIC2,
/ which is the property of the Electronic Dictionary Research and Development
/ Group (EDRDG) and is used under the Creative Commons Attribution-ShareAlike
/ 4.0 licence (CC BY-SA 4.0): https://www.edrdg.org/edrdg/licence.html
/ ----------------------------------------------------------------------------
"""

EXTENDED_HEADER = """\
/ ----------------------------------------------------------------------------
/ Zezovar_ex.ini  文字テーブル（拡張）　ページ5（先行コード 18）
/ このファイルは tools/gen_tables.py が生成します。
/ 漢字の選択と順序は KANJIDIC2 の新聞での使用頻度順位によります。
/ KANJIDIC2 は Electronic Dictionary Research and Development Group (EDRDG)
/ の著作物で、Creative Commons 表示-継承 4.0 (CC BY-SA 4.0) の下で使用しています。
/
/ 書式は Zezovar.ini と同じです：「/」で始まる行はコメント、空白だけの行は
/ 読み飛ばし、データ行は「ラベル,セル0,…,セルF」の16セル、16行で1ページ。
/ 行の位置がコードの上位の16進数字、列の位置が下位の16進数字です。
/
/ Same format as Zezovar.ini: "/" lines are comments, blank lines are skipped,
/ a data line is a label and 16 comma-separated cells (columns 0-F), and its
/ 16 data lines fill page 5, whose characters are written after lead code 18.
/ The row gives the first hex digit of the code, the column the second.
/
/ The kanji and their order follow the newspaper frequency ranks of KANJIDIC2,
/ which is the property of the Electronic Dictionary Research and Development
/ Group (EDRDG) and is used under the Creative Commons Attribution-ShareAlike
/ 4.0 licence (CC BY-SA 4.0): https://www.edrdg.org/edrdg/licence.html
/ ----------------------------------------------------------------------------
"""


def kanji(kanjidic_path):
    """Every kanji that KANJIDIC2 ranks by newspaper use, most used first."""
    opener = gzip.open if kanjidic_path.suffix == ".gz" else open
    try:
        with opener(kanjidic_path, "rb") as f:
            root = ElementTree.parse(f).getroot()
    except (OSError, ElementTree.ParseError) as e:
        sys.exit(f"{kanjidic_path}: cannot read KANJIDIC2 ({e}); install kanjidic-xml")
    ranked = []
    for character in root.iter("character"):
        freq = character.find("misc/freq")
        if freq is not None:
            ranked.append((int(freq.text), character.find("literal").text))
    ranked.sort()
    ranks = [rank for rank, _ in ranked]
    # The ranks run 1..N without gaps; anything else is not the file we know.
    if len(ranked) < 2000 or ranks != list(range(1, len(ranked) + 1)):
        sys.exit(f"{kanjidic_path}: unexpected newspaper frequency ranks")
    return "".join(literal for _, literal in ranked if survives_cp932(literal))


def survives_cp932(ch):
    try:
        return ch.encode("cp932").decode("cp932") == ch
    except UnicodeEncodeError:
        return False


def characters(kanjidic_path):
    chars = PUNCTUATION + HIRAGANA + KATAKANA + ASCII + FULL_WIDTH_ALNUM + kanji(kanjidic_path)
    seen = set()
    for ch in chars:
        if ch in seen:
            sys.exit(f"U+{ord(ch):04X} is listed twice")
        if ch in FORBIDDEN or not ch.isprintable():
            sys.exit(f"U+{ord(ch):04X} may not stand in a cell")
        seen.add(ch)
    return chars


def fill_grid(kanjidic_path=DEFAULT_KANJIDIC):
    """Returns grid[page][row][column] -> str, filled in page, row, column order."""
    chars = iter(characters(kanjidic_path))
    grid = [[[""] * COLUMNS for _ in range(ROWS)] for _ in range(PAGES)]
    for page in range(PAGES):
        for row in range(ROWS):
            for column in range(COLUMNS):
                if page == 0 and row * 16 + column in RESERVED_PAGE0_BYTES:
                    continue
                grid[page][row][column] = next(chars, "")
    return grid


def data_lines(grid, pages):
    for page in pages:
        for row in range(ROWS):
            yield f"{page * ROWS + row:02X}," + ",".join(grid[page][row])


def render(header, lines):
    text = header + "".join(line + "\n" for line in lines)
    text = text.replace("\n", "\r\n")
    data = text.encode("cp932")
    for line in text.split("\r\n"):
        if line.encode("cp932").decode("cp932") != line:
            sys.exit(f"line does not survive code page 932: {line!r}")
    return data


def read_back(data):
    """Reads a file the way the tool does and returns its data lines' cells."""
    rows = []
    for line in data.decode("cp932").split("\r\n"):
        if line[:1] in ("/", "\uFF0F") or not line.strip(" "):
            continue
        pieces = line.replace("\uFF0C", ",").split(",")
        if len(pieces) < 17:
            sys.exit(f"data line with {len(pieces)} pieces: {line!r}")
        rows.append([p.strip(" ") for p in pieces[1:17]])
    return rows


def build(kanjidic_path):
    grid = fill_grid(kanjidic_path)
    main = render(MAIN_HEADER, data_lines(grid, range(MAIN_PAGES)))
    extended = render(EXTENDED_HEADER, data_lines(grid, [5]))
    main_rows, extended_rows = read_back(main), read_back(extended)
    if len(main_rows) != MAIN_PAGES * ROWS or len(extended_rows) != ROWS:
        sys.exit("wrong number of data lines")
    expected = [row for page in grid for row in page]
    if main_rows + extended_rows != expected:
        sys.exit("the files do not read back as the grid")
    return {"Zezovar.ini": main, "Zezovar_ex.ini": extended}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    default_dir = pathlib.Path(__file__).resolve().parent.parent / "tables"
    parser.add_argument("--out-dir", type=pathlib.Path, default=default_dir)
    parser.add_argument("--kanjidic", type=pathlib.Path, default=DEFAULT_KANJIDIC)
    parser.add_argument("--check", action="store_true")
    args = parser.parse_args()

    stale = []
    for name, data in build(args.kanjidic).items():
        path = args.out_dir / name
        if args.check:
            if not path.is_file() or path.read_bytes() != data:
                stale.append(str(path))
        else:
            args.out_dir.mkdir(parents=True, exist_ok=True)
            path.write_bytes(data)
    if stale:
        print("out of date: " + ", ".join(stale), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
