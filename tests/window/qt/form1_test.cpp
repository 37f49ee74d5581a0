// The window: its controls and layout, the start-up sequence, and the two
// buttons over the core, seen through the boxes as the user sees them.

#include "window/qt/form1.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <utility>
#include <vector>

#include "chartable/table_folders.h"
#include "codec/listing.h"
#include "test_tables.h"
#include "window/logic/form_layout.h"
#include "window/logic/form_logic.h"
#include "window/qt/code_box.h"
#include "window/qt/font_choice.h"

using namespace Qt::StringLiterals;
namespace w = binconv::window::qt;
namespace logic = binconv::window::logic;

// The window's words for a listing that can't be written.
constexpr std::u16string_view kOddCountMessage = u"入力された文字コードが正しくありません";
constexpr std::u16string_view kBadCharMessage =
    u"不正な文字コードが見つかったので処理を中断しました";

class Form1Test : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QVERIFY(tables_.isValid() && work_.isValid());
    QVERIFY(w::testing::WriteSmallTables(tables_.path()));
    // The writer's relative names land in the working directory.
    QVERIFY(QDir::setCurrent(work_.path()));
  }
  void init() {
    form_ = new w::Form1;
    const auto error = form_->Load(tables_.path().toStdString());
    QVERIFY(!error);
    form_->show();
    QVERIFY(QTest::qWaitForWindowActive(form_));
  }
  void cleanup() { delete form_; }

  // Every control of the one layout table, with its caption and font.
  void Controls_data() {
    QTest::addColumn<int>("index");
    for (std::size_t i = 0; i < logic::kLayout.size(); ++i) {
      QTest::newRow(logic::kLayout[i].name.data()) << static_cast<int>(i);
    }
  }
  void Controls() {
    QFETCH(int, index);
    const logic::ControlLayout& place = logic::kLayout[static_cast<std::size_t>(index)];
    auto* widget = form_->findChild<QWidget*>(QString::fromUtf8(place.name));
    QVERIFY(widget);
    QString text;
    if (auto* label = qobject_cast<QLabel*>(widget)) text = label->text();
    if (auto* button = qobject_cast<QPushButton*>(widget)) text = button->text();
    if (auto* line = qobject_cast<QLineEdit*>(widget)) text = line->text();
    if (auto* box = qobject_cast<QPlainTextEdit*>(widget)) text = box->toPlainText();
    const std::u16string_view caption =
        place.control == logic::Control::kText1 ? logic::kText1Start : place.caption;
    QCOMPARE(text.toStdU16String(), caption);
    QCOMPARE(widget->font().family(), w::UiFont().family());
    QCOMPARE(widget->font().pointSize(), logic::kFontPoints);
  }

  // The window takes one size, and at it every control lies whole inside the
  // client area, and none that takes input overlaps another: a label may
  // reach under a box, which is drawn over it.
  void ControlsFitTheClientArea() {
    QCOMPARE(form_->minimumSize(), form_->maximumSize());
    QCOMPARE(form_->size(), form_->minimumSize());
    const QRect client = form_->rect();
    std::vector<std::pair<QString, QRect>> inputs;
    for (const logic::ControlLayout& place : logic::kLayout) {
      const QString name = QString::fromUtf8(place.name);
      auto* widget = form_->findChild<QWidget*>(name);
      QVERIFY(widget);
      const QRect r = widget->geometry();
      QVERIFY2(!r.isEmpty() && client.contains(r), qPrintable(name));
      if (place.kind != logic::ControlKind::kLabel) inputs.emplace_back(name, r);
    }
    for (std::size_t i = 0; i < inputs.size(); ++i) {
      for (std::size_t j = i + 1; j < inputs.size(); ++j) {
        QVERIFY2(!inputs[i].second.intersects(inputs[j].second),
                 qPrintable(inputs[i].first + " overlaps " + inputs[j].first));
      }
    }
  }

  void Window() {
    QCOMPARE(form_->objectName(), "Form1");
    QCOMPARE(form_->windowTitle(), u"バイナリ変換ツール"_s);
    QVERIFY(!form_->windowIcon().pixmap(32).isNull());
    if (!w::PickUiFontFamily(QFontDatabase::families()).isEmpty())
      QVERIFY(w::PreferredUiFontFamilies().contains(form_->font().family(), Qt::CaseInsensitive));
    auto& text2 = form_->text2();
    auto& text3 = form_->text3();
    QCOMPARE(text2.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(text3.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(text3.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(text3.lineWrapMode(), QPlainTextEdit::WidgetWidth);
  }

  // Tab leaves the multi-line boxes too, and the labels never take the focus.
  void TabOrder() {
    QCOMPARE(QApplication::focusWidget(), &form_->text1());
    QStringList visited;
    for (int i = 0; i < 5; ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      visited << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(visited, QStringList({"Text2", "Command3", "Text3", "Command1", "Text1"}));
    QVERIFY(form_->text3().toPlainText().isEmpty() && form_->text2().toPlainText().isEmpty());
  }

  void LoadResetsBoxesBeforeReadingTables() {
    form_->text1().setText("x.bin");
    form_->text3().setPlainText("abc");
    QTemporaryDir empty;
    const auto error = form_->Load(empty.path().toStdString());
    QVERIFY(error);
    QVERIFY(error->contains("Zezovar.ini"));
    QCOMPARE(form_->text1().text(), "temp.bin");
    QVERIFY(form_->text2().toPlainText().isEmpty() && form_->text3().toPlainText().isEmpty());
    QVERIFY(form_->label2().toolTip().isEmpty());
  }

  // The folder in use is told without changing the layout: the code box's
  // caption keeps its text and gets the folder as its tooltip.
  void CodeCaptionTellsTheTablesFolder() {
    QCOMPARE(form_->label2().text(), "コード：");
    QCOMPARE(form_->label2().toolTip(),
             "文字テーブル：" + QDir::toNativeSeparators(QDir(tables_.path()).absolutePath()));
    // The program's own start-up, through the table search, shows it too.
    form_->label2().setToolTip(QString());
    QVERIFY(!form_->Load(binconv::FindTableFolder(
        binconv::TableSearchPlace{tables_.path().toStdString(), {}, {}, {}, {}, false})));
    QCOMPARE(form_->label2().toolTip(),
             "文字テーブル：" + QDir::toNativeSeparators(QDir(tables_.path()).absolutePath()));
    QVERIFY(QDir::setCurrent(tables_.path()));
    QVERIFY(!form_->Load("."));
    QVERIFY(QDir::setCurrent(work_.path()));
    QCOMPARE(form_->label2().toolTip(),
             "文字テーブル：" + QDir::toNativeSeparators(QDir(tables_.path()).absolutePath()));
  }

  void TableErrorNamesFileAndLine() {
    QTemporaryDir dir;
    QVERIFY(w::testing::WriteSmallTables(dir.path()));
    QFile bad(dir.filePath("Zezovar_ex.ini"));
    QVERIFY(bad.open(QIODevice::WriteOnly) && bad.write("/ c\r\n\r\nr,a,b\r\n") > 0);
    bad.close();
    const auto error = form_->Load(dir.path().toStdString());
    QVERIFY(error);
    const QString message = *error;
    QVERIFY2(message.contains("Zezovar_ex.ini\n3 行目：項目が 3 個しかありません"),
             qPrintable(message));
  }

  void Convert_data() {
    QTest::addColumn<QString>("input");  // as the box holds it
    QTest::addColumn<QString>("listing");
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("pages") << u"a\u3042q\u3000 p"_s << "00 20 00 18 00 50 50 0F ";
    QTest::newRow("lines") << "ab\ncd\n"
                           << "00 01 24\n02 03 24\n";
    QTest::newRow("soft break") << u"a\u2028b"_s << "00 24\n01 ";
    QTest::newRow("tag and unknown") << u"<0C01>z\u00a0"_s << u"0C01 z \u00a0 "_s;
  }
  void Convert() {
    QFETCH(QString, input);
    QFETCH(QString, listing);
    form_->text3().setPlainText(input);
    QTest::mouseClick(form_->findChild<QPushButton*>("Command1"), Qt::LeftButton);
    // Raw text: toPlainText would hide a no-break space as a space.
    const QString shown = form_->text2().document()->toRawText();
    QCOMPARE(QString(shown).replace(QChar::ParagraphSeparator, u'\n'), listing);
    QVERIFY(!shown.contains(u'\r'));
  }

  void WritesListingBytes_data() {
    QTest::addColumn<QString>("listing");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty after start") << "" << QByteArray();
    QTest::newRow("lines") << "1a 2B 24\n\nFF " << QByteArray("\x1a\x2b\x24\xff");
    QTest::newRow("pair split by a break") << "1\nA" << QByteArray("\x1a");
  }
  void WritesListingBytes() {
    QFETCH(QString, listing);
    QFETCH(QByteArray, bytes);
    if (!listing.isEmpty()) form_->text2().setPlainText(listing);
    QFile::remove("temp.bin");
    ClickOutput();
    QFile out("temp.bin");
    QVERIFY(out.open(QIODevice::ReadOnly));
    QCOMPARE(out.readAll().toHex(' '), bytes.toHex(' '));
    QCOMPARE(form_->text2().toPlainText(), listing);
  }

  // The message replaces the listing as an edit the user can undo.
  void RejectedListingMessageIsUndoable_data() {
    QTest::addColumn<QString>("listing");
    QTest::addColumn<QString>("message");
    QTest::newRow("odd") << "1A 2\nzz" << QStringView(kOddCountMessage).toString();
    QTest::newRow("bad") << u"1A \u3042\u3042 "_s << QStringView(kBadCharMessage).toString();
  }
  void RejectedListingMessageIsUndoable() {
    QFETCH(QString, listing);
    QFETCH(QString, message);
    const std::u16string expected = message.toStdU16String();
    auto& text2 = form_->text2();
    text2.setPlainText(listing);
    ClickOutput();
    QCOMPARE(text2.toPlainText().toStdU16String(), expected);
    // The message is selected in full when the box next gets the focus.
    form_->text1().setFocus();
    QTest::keyClick(&form_->text1(), Qt::Key_Tab);
    QCOMPARE(text2.textCursor().selectedText().toStdU16String(), expected);
    QTest::keyClick(&text2, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(text2.toPlainText(), listing);
  }

  void ConversionIsUndoable() {
    form_->text2().setPlainText("FF 00");
    form_->text3().setPlainText("ab");
    QTest::mouseClick(form_->findChild<QPushButton*>("Command1"), Qt::LeftButton);
    QCOMPARE(form_->text2().toPlainText(), "00 01 ");
    QTest::keyClick(&form_->text2(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(form_->text2().toPlainText(), "FF 00");
  }

  // Tables without "1" and "0": conversion leaves them as they are, and the
  // writer would take them for the byte 10. They are marked, and writing is
  // refused, until the user edits over them, even after Ctrl+Z.
  void UncodedHexDigitsAreMarkedAndRefused() {
    auto& text2 = form_->text2();
    form_->text3().setPlainText("ab10c\nd");
    QTest::mouseClick(form_->findChild<QPushButton*>("Command1"), Qt::LeftButton);
    QCOMPARE(text2.toPlainText(), "00 01 1 0 02 24\n03 ");
    QCOMPARE(w::testing::FormatMarks(text2, 0, text2.highlighter()), "      u u      ");
    QFile::remove("temp.bin");
    for (int round = 0; round < 2; ++round) {
      ClickOutput();
      QCOMPARE(text2.toPlainText().toStdU16String(), kBadCharMessage);
      QVERIFY(!QFile::exists("temp.bin"));
      QTest::keyClick(&text2, Qt::Key_Z, Qt::ControlModifier);
      QCOMPARE(text2.toPlainText(), "00 01 1 0 02 24\n03 ");
      QCOMPARE(w::testing::FormatMarks(text2, 0, text2.highlighter()), "      u u      ");
    }
    // Typing elsewhere keeps the marks where they are.
    QTextCursor cursor(text2.document()->findBlockByNumber(1));
    cursor.insertText("04 ");
    QCOMPARE(w::testing::FormatMarks(text2, 0, text2.highlighter()), "      u u      ");
    ClickOutput();
    QCOMPARE(text2.toPlainText().toStdU16String(), kBadCharMessage);
    QTest::keyClick(&text2, Qt::Key_Z, Qt::ControlModifier);
    // Overtyping "1 0" with "10" makes it the user's code.
    cursor = QTextCursor(text2.document());
    cursor.setPosition(6);
    cursor.setPosition(9, QTextCursor::KeepAnchor);
    cursor.insertText("10");
    QCOMPARE(w::testing::FormatMarks(text2, 0, text2.highlighter()), "              ");
    ClickOutput();
    QFile out("temp.bin");
    QVERIFY(out.open(QIODevice::ReadOnly));
    QCOMPARE(out.readAll().toHex(' '), QByteArray("00 01 10 02 24 04 03"));
  }

  // With --tbl FILE, conversion goes through the game's own table, its
  // problems are marked, the tooltip names the file, and the bytes are written
  // from the listing as ever; a bad .tbl names each line.
  void GameTblFromTheCommandLine() {
    QTemporaryDir dir;
    const QString tbl = dir.filePath(u"ゲーム.tbl"_s);
    QFile file(tbl);
    QVERIFY(file.open(QIODevice::WriteOnly) &&
            file.write("82A0=\xE3\x81\x82\n*0A\n$FE=<wait>,1\n") > 0);
    file.close();
    const std::string tbl_utf8 = tbl.toStdString();
    const std::string_view named[] = {"--tbl", tbl_utf8};
    QVERIFY(!form_->Load(logic::WindowArgsOf(named), binconv::TableSearchPlace{}));
    QCOMPARE(form_->label2().toolTip(), u"ゲームのテーブル："_s + QDir::toNativeSeparators(tbl));
    auto& text2 = form_->text2();
    form_->text3().setPlainText(u"\u3042x\n<wait>"_s);
    QTest::mouseClick(form_->findChild<QPushButton*>("Command1"), Qt::LeftButton);
    QCOMPARE(text2.toPlainText(), u"82 A0 x 0A\nFE \uFF1F "_s);
    QCOMPARE(w::testing::FormatMarks(text2, 0, text2.highlighter()), "      u   ");
    QCOMPARE(w::testing::FormatMarks(text2, 1, text2.highlighter()), "   u ");
    QFile::remove("temp.bin");
    ClickOutput();
    QCOMPARE(text2.toPlainText().toStdU16String(), kBadCharMessage);
    form_->text3().setPlainText(u"<wait><1E>\u3042\n"_s);
    QTest::mouseClick(form_->findChild<QPushButton*>("Command1"), Qt::LeftButton);
    QCOMPARE(text2.toPlainText(), "FE 1E 82 A0 0A\n");
    ClickOutput();
    QFile out("temp.bin");
    QVERIFY(out.open(QIODevice::ReadOnly));
    QCOMPARE(out.readAll().toHex(' '), QByteArray("fe 1e 82 a0 0a"));

    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
            file.write("41=A\n/41=B\n") > 0);
    file.close();
    const auto error = form_->Load(logic::WindowArgsOf(named), binconv::TableSearchPlace{});
    QVERIFY(error);
    QVERIFY2(error->contains(u"ゲーム.tbl:2：同じコードが 1 行目にもあります。"_s),
             qPrintable(*error));
    QVERIFY(form_->label2().toolTip().isEmpty());
  }

  // A failed write is reported in a dialog and costs the user nothing.
  void WriteFailureKeepsEverything() {
    const QString name = work_.filePath("no such dir/out.bin");
    form_->text1().setText(name);
    form_->text2().setPlainText("1A 2B");
    form_->text3().setPlainText(u"\u3042"_s);
    QString shown;
    QTimer::singleShot(0, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        shown = box->text();
        box->close();
      }
    });
    ClickOutput();
    QVERIFY2(shown.contains(name) && shown.section(name, 1).size() > 2, qPrintable(shown));
    QCOMPARE(form_->text1().text(), name);
    QCOMPARE(form_->text2().toPlainText(), "1A 2B");
    QCOMPARE(form_->text3().toPlainText(), u"\u3042"_s);
    QVERIFY(form_->isVisible());
  }

 private:
  void ClickOutput() {
    QTest::mouseClick(form_->findChild<QPushButton*>("Command3"), Qt::LeftButton);
  }

  QTemporaryDir tables_;
  QTemporaryDir work_;
  w::Form1* form_ = nullptr;
};

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
