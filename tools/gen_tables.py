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
  5. kanji: the 1026 kyoiku kanji (school grades 1 to 6, grade by grade, each
     grade in code page 932 order), then the other joyo kanji in code page 932
     order, taken in that order until the cells run out.
Page 0 leaves empty the bytes a game can't tell apart from a lead code or a
fixed code (18, 20-24, 50). Characters the converter handles itself (spaces,
tag marks, the comma and the line-break mark) never get a cell.

Usage: gen_tables.py [--out-dir DIR] [--check]
  --check  exits 1 if the files in DIR differ from what would be written.
"""

import argparse
import pathlib
import sys

# The kyoiku kanji by school grade and the other joyo kanji (2010 list),
# each group in code page 932 order. 剥 叱 填 頬 stand for the official forms
# U+525D U+20B9F U+5861 U+9830, which code page 932 lacks.
KYOIKU_KANJI = (
    # Grade 1 (80)
    "一右雨円王音下火花貝学気休玉金九空月犬見五口校左三山四子糸字耳七車手十出女小上森"
    "人水正生青石赤先千川早草足村大男竹中虫町天田土二日入年白八百文本名木目夕立力林六",
    # Grade 2 (160)
    "引羽雲園遠黄何夏家科歌画会回海絵外角楽活間丸岩顔帰汽記弓牛魚京強教近兄形計元原言"
    "古戸午後語交光公工広考行高合国黒今才細作算姉市思止紙寺時自室社弱首秋週春書少場色"
    "食心新親図数星晴声西切雪線船前組走多太体台谷知地池茶昼朝長鳥直通弟店点電冬刀東当"
    "答頭同道読内南肉馬買売麦半番父風分聞米歩母方北妹毎万明鳴毛門夜野矢友曜用来理里話",
    # Grade 3 (200)
    "悪安暗委意医育員飲院運泳駅央横屋温化荷界開階寒感漢館岸期起客宮急球究級去橋業局曲"
    "銀区苦具君係軽決血研県庫湖向幸港号根祭坂皿仕使始指死詩歯事持次式実写者主取守酒受"
    "州拾終習集住重宿所暑助勝商昭消章乗植深申真神身進世整昔全想相送息速族他打対待代第"
    "題炭短談着柱注丁帳調追定庭笛鉄転登都度島投湯等豆動童農波配倍箱畑発反板悲皮美鼻筆"
    "氷表病秒品負部服福物平返勉放味命面問役薬油有由遊予様洋羊葉陽落流旅両緑礼列練路和",
    # Grade 4 (202)
    "愛案以位衣井茨印栄英塩岡沖億加果課貨芽賀改械害街各覚潟完官管観関願器岐希旗機季議"
    "求泣給挙漁競共協鏡極熊訓群軍郡径景芸欠結健建験固候功好康香佐差最菜材阪崎埼昨刷察"
    "札参散産残司氏試児滋治辞鹿失借種周祝順初唱松焼照省笑城信臣成清静席積折節説戦浅選"
    "然倉巣争側束続卒孫帯隊達単置仲兆低底的典伝徒努灯働徳特栃奈縄熱念敗梅博飯飛必媛標"
    "票不付夫富府阜副兵別変辺便包法望牧末満未民無約勇要養浴利梨陸料良量輪類令例冷連労"
    "老録",
    # Grade 5 (193)
    "圧囲易移因営永衛液益演往応仮価可河過解快格確額刊幹慣眼喜基寄紀規技義逆久救旧居許"
    "境興均禁句型経潔件検険減現限個故護効厚構耕航講鉱告混査再妻採災際在罪財桜殺雑賛酸"
    "史士師志支枝資飼似示識質舎謝授修術述準序招証象賞常情条状織職制勢性政精製税績責接"
    "設絶祖素総像増造則測属損態貸団断築貯張停提程適統堂導銅得毒独任燃能破判版犯比肥費"
    "非備評貧婦布武復複仏粉編弁保墓報豊暴貿防脈務夢迷綿輸余容率略留領歴",
    # Grade 6 (191)
    "異胃遺域宇映延沿恩我灰拡閣革割株巻干看簡危揮机貴疑吸供胸郷勤筋敬系警劇激穴券憲権"
    "絹厳源呼己誤后孝皇紅鋼降刻穀骨困砂座済裁策冊蚕姿私至視詞誌磁射捨尺若樹収宗就衆従"
    "縦縮熟純処署諸除傷将承障蒸針仁垂推寸盛聖誠舌宣専泉洗染銭善創奏層操窓装臓蔵存尊退"
    "宅担探誕暖段値宙忠著庁潮腸頂賃痛敵展党糖討届難乳認納脳派俳拝背肺班晩否批秘俵腹奮"
    "並閉陛片補暮宝訪亡忘棒枚幕密盟模訳優郵預幼欲翌乱卵覧裏律臨朗論",
)
# The other 1110 jōyō kanji.
OTHER_JOYO_KANJI = (
    "亜哀挨握扱宛闇依偉威尉慰椅為畏維緯萎違壱逸稲芋咽姻淫陰隠韻臼渦唄浦餌影詠鋭疫悦謁"
    "越閲宴怨援炎煙猿縁艶鉛汚凹奥押旺欧殴翁憶臆乙俺卸穏佳嫁寡暇架禍稼箇苛華菓蚊牙雅餓"
    "介塊壊怪悔懐戒拐皆劾崖慨概涯蓋該骸垣柿嚇核殻獲穫較郭隔岳顎掛喝括渇滑葛褐轄且釜鎌"
    "刈瓦乾冠勘勧喚堪寛患憾換敢棺款歓汗環甘監緩缶肝艦貫還鑑閑陥韓含玩頑企伎奇幾忌既棋"
    "棄畿祈軌輝飢騎鬼亀偽儀宜戯擬欺犠菊吉喫詰却脚虐丘及朽窮糾巨拒拠虚距享凶叫峡恐恭挟"
    "況狂狭矯脅響驚仰凝暁僅巾錦斤琴緊菌襟謹吟駆駒愚虞偶遇隅串屈掘窟靴繰桑勲薫傾刑啓契"
    "恵慶憩掲携渓稽継茎蛍詣鶏迎鯨撃隙桁傑倹兼剣圏堅嫌懸拳献肩謙賢軒遣鍵顕幻弦玄舷孤弧"
    "枯股虎誇雇顧鼓互呉娯御悟碁乞侯勾喉坑孔巧恒慌抗拘控攻更梗江洪溝甲硬稿絞綱肯荒衡貢"
    "購郊酵項剛拷豪克酷獄腰込頃墾婚恨懇昆痕紺魂唆沙詐鎖挫債催塞宰彩栽歳采砕斎載剤咲削"
    "搾柵索錯拶撮擦傘惨桟斬暫伺刺嗣施旨祉紫肢脂諮賜雌侍慈璽軸叱執嫉湿漆疾芝赦斜煮遮蛇"
    "邪爵酌釈寂朱殊狩珠腫趣儒呪寿需囚愁秀臭舟襲蹴酬醜充柔汁渋獣銃叔淑粛塾俊瞬准循旬殉"
    "潤盾巡遵庶緒叙徐償匠升召奨宵尚床彰抄掌昇晶沼渉焦症硝礁祥称粧紹肖衝訟詔詳鐘丈冗剰"
    "壌嬢浄畳譲醸錠嘱飾拭殖触辱尻伸侵唇娠寝審慎振浸紳芯薪診辛震刃尋甚尽腎迅陣須酢吹帥"
    "炊睡粋衰遂酔随髄崇枢据杉裾澄瀬畝是凄姓征牲誓請逝醒斉隻惜戚斥析籍脊跡拙摂窃仙占扇"
    "栓潜煎旋繊羨腺薦詮践遷鮮漸禅繕膳塑措曽狙疎礎租粗訴阻遡僧双喪壮爽捜掃挿曹槽燥痩荘"
    "葬藻遭霜騒憎贈促即捉俗賊袖遜汰唾堕妥惰駄堆耐怠戴替泰滞胎袋逮滝卓択拓沢濯託濁諾但"
    "奪脱棚誰丹嘆旦淡端綻胆鍛壇弾恥痴稚致遅畜蓄逐秩窒嫡抽衷酎鋳駐弔彫徴懲挑眺聴超跳勅"
    "捗朕沈珍鎮陳津墜椎塚漬潰坪爪釣鶴亭偵貞呈堤帝廷抵締艇訂諦逓邸泥摘滴溺哲徹撤迭填添"
    "貼殿吐塗妬斗渡賭途奴怒倒凍唐塔悼搭桃棟盗痘筒到藤謄踏逃透陶騰闘憧洞瞳胴峠匿督篤凸"
    "突屯豚頓曇鈍那謎鍋軟尼弐匂虹如尿妊忍寧猫捻粘悩濃把覇婆罵廃排杯輩培媒賠陪伯剥拍泊"
    "舶薄迫漠爆縛箸肌鉢髪伐罰抜閥伴帆搬斑氾汎畔繁般藩販範煩頒盤蛮卑妃彼扉披泌疲碑罷被"
    "避尾微眉匹膝肘姫漂描苗浜賓頻敏瓶怖扶敷普浮符腐膚譜賦赴附侮舞封伏幅覆払沸噴墳憤紛"
    "雰丙併塀幣弊柄蔽壁癖蔑偏遍舗捕穂募慕簿倣俸奉峰崩抱泡砲縫胞芳蜂褒邦飽乏傍剖坊妨帽"
    "忙房某冒紡肪膨謀貌頬僕墨撲朴睦勃没堀奔翻凡盆摩磨魔麻埋昧膜枕又抹繭慢漫魅岬蜜妙眠"
    "矛霧婿娘冥銘滅免麺茂妄猛盲網耗黙餅戻紋冶弥厄躍柳愉癒諭唯幽悠憂湧猶裕誘雄融与誉妖"
    "庸揚揺擁溶窯謡踊抑沃翼羅裸頼雷絡酪嵐欄濫藍吏履璃痢離硫粒隆竜侶慮虜了僚寮涼猟療瞭"
    "糧陵倫厘隣瑠塁涙累励鈴隷零霊麗齢暦劣烈裂廉恋錬呂炉賂露廊弄楼浪漏郎麓賄脇惑枠湾腕"
    "丼傲刹哺喩嗅嘲毀彙恣惧慄憬拉摯曖楷鬱璧瘍箋籠緻羞訃諧貪踪辣錮"
)

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
/ ----------------------------------------------------------------------------
"""

EXTENDED_HEADER = """\
/ ----------------------------------------------------------------------------
/ Zezovar_ex.ini  文字テーブル（拡張）　ページ5（先行コード 18）
/ このファイルは tools/gen_tables.py が生成します。
/
/ 書式は Zezovar.ini と同じです：「/」で始まる行はコメント、空白だけの行は
/ 読み飛ばし、データ行は「ラベル,セル0,…,セルF」の16セル、16行で1ページ。
/ 行の位置がコードの上位の16進数字、列の位置が下位の16進数字です。
/
/ Same format as Zezovar.ini: "/" lines are comments, blank lines are skipped,
/ a data line is a label and 16 comma-separated cells (columns 0-F), and its
/ 16 data lines fill page 5, whose characters are written after lead code 18.
/ The row gives the first hex digit of the code, the column the second.
/ ----------------------------------------------------------------------------
"""


def kanji():
    grades = [len(g) for g in KYOIKU_KANJI]
    if grades != [80, 160, 200, 202, 193, 191]:
        sys.exit(f"kyoiku kanji list is damaged: grade sizes {grades}")
    other = "".join(OTHER_JOYO_KANJI)
    if len(other) != 2136 - 1026:
        sys.exit(f"joyo kanji list is damaged: {len(other)} others")
    return "".join(KYOIKU_KANJI) + other


def characters():
    chars = PUNCTUATION + HIRAGANA + KATAKANA + ASCII + FULL_WIDTH_ALNUM + kanji()
    seen = set()
    for ch in chars:
        if ch in seen:
            sys.exit(f"U+{ord(ch):04X} is listed twice")
        if ch in FORBIDDEN or not ch.isprintable():
            sys.exit(f"U+{ord(ch):04X} may not stand in a cell")
        seen.add(ch)
    return chars


def fill_grid():
    """Returns grid[page][row][column] -> str, filled in page, row, column order."""
    chars = iter(characters())
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


def build():
    grid = fill_grid()
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
    parser.add_argument("--check", action="store_true")
    args = parser.parse_args()

    stale = []
    for name, data in build().items():
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
