// Line breaks and undo at the edge of the boxes, the listing highlighter and
// the font choice.

#include "window/qt/box_text.h"

#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

#include "codec/listing.h"
#include "test_tables.h"
#include "window/qt/font_choice.h"
#include "window/logic/form_logic.h"
#include "window/qt/listing_highlighter.h"

using binconv::window::qt::testing::Hex;
using namespace Qt::StringLiterals;
namespace w = binconv::window::qt;
namespace logic = binconv::window::logic;

class BoxTextTest : public QObject {
  Q_OBJECT

 private slots:
  void CoreTextFromBox_data() {
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QString>("core");
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("block separator") << u"a\u2029b"_s << "a\r\nb";
    QTest::newRow("soft line break") << u"a\u2028b"_s << "a\r\nb";
    QTest::newRow("LF") << "a\nb"
                        << "a\r\nb";
    QTest::newRow("lone CR") << "a\rb"
                             << "a\r\nb";
    QTest::newRow("CR LF stays one break") << "a\r\nb"
                                           << "a\r\nb";
    QTest::newRow("CR then CR LF") << "\r\r\n"
                                   << "\r\n\r\n";
    QTest::newRow("LF then CR") << "\n\r"
                                << "\r\n\r\n";
    QTest::newRow("trailing break") << u"x\u2029"_s << "x\r\n";
    QTest::newRow("no-break space kept") << u"\u00a0\t"_s << u"\u00a0\t"_s;
  }
  void CoreTextFromBox() {
    QFETCH(QString, raw);
    QFETCH(QString, core);
    QCOMPARE(Hex(w::CoreTextFromBox(raw)), Hex(core.toStdU16String()));
  }

  // Whatever the core produces comes back unchanged through a real box.
  void RoundTripThroughBox() {
    const std::u16string pieces[] = {u"A",      u"\u3042",     u" ",    u"\u3000",
                                     u"\u00a0", u"\t",         u"<",    u">",
                                     u"\u9C2F", u"\U0001F600", u"\r\n", u"\r\n\r\n"};
    QRandomGenerator rng(20240611);
    QPlainTextEdit box;
    for (int round = 0; round < 200; ++round) {
      std::u16string core;
      const int length = rng.bounded(40);
      for (int i = 0; i < length; ++i) core += pieces[rng.bounded(int(std::size(pieces)))];
      box.setPlainText(w::BoxTextFromCore(core));
      QCOMPARE(Hex(w::CoreTextOf(box)), Hex(core));
    }
  }

  // The highlight must agree with the writer: a box holding the character and a
  // digit is rejected for a bad character exactly when the character is marked.
  void RejectedAgreesWithWriterForEveryCodeUnit() {
    for (char32_t c = 0; c <= 0xFFFF; ++c) {
      const auto ch = static_cast<char16_t>(c);
      const auto parsed = binconv::ParseListing(w::CoreTextFromBox(QString(QChar(ch)) + "0"));
      const bool writer_rejects =
          !parsed && parsed.error().code == binconv::ProblemCode::kListingNotHex;
      if (logic::IsRejectedInListing(ch) != writer_rejects) {
        QFAIL(qPrintable(QString::asprintf("U+%04X: marked %d, writer rejects %d", unsigned(c),
                                           logic::IsRejectedInListing(ch), writer_rejects)));
      }
    }
  }

  void HighlightsRejectedCharacters_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("marks");  // x under each character that must be marked
    QTest::newRow("clean") << u"1A 2b\u3000ff"_s << "        ";
    QTest::newRow("pass-through") << u"1A \u3042 0C01\t"_s << "   x     x";
    QTest::newRow("full-width digit") << u"\uff11A"_s << "x ";
    QTest::newRow("runs") << "0gh i"
                          << " xx x";
  }
  void HighlightsRejectedCharacters() {
    QFETCH(QString, line);
    QFETCH(QString, marks);
    QPlainTextEdit box;
    w::ListingHighlighter highlighter(box.document(), &no_marks_);
    box.setPlainText("00\n" + line);
    QCOMPARE(w::testing::FormatMarks(box, 1, highlighter), marks);
    QCOMPARE(w::testing::FormatMarks(box, 0, highlighter), "  ");
  }

  void HighlightFollowsEdits() {
    QPlainTextEdit box;
    w::ListingHighlighter highlighter(box.document(), &no_marks_);
    box.setPlainText("1A\n2B");
    QTextCursor cursor(box.document()->findBlockByNumber(1));
    cursor.insertText("z");
    QCOMPARE(w::testing::FormatMarks(box, 1, highlighter), "x  ");
    cursor.deletePreviousChar();
    QCOMPARE(w::testing::FormatMarks(box, 1, highlighter), "  ");
  }

  void PicksFirstInstalledPreferredFont_data() {
    QTest::addColumn<QStringList>("installed");
    QTest::addColumn<QString>("picked");
    QTest::newRow("MS first") << QStringList{"IPAGothic", u"ＭＳ ゴシック"_s, "MS Gothic"}
                              << u"ＭＳ ゴシック"_s;
    QTest::newRow("case") << QStringList{"DejaVu Sans", "ipagothic"} << "ipagothic";
    QTest::newRow("none") << QStringList{"IPAPGothic", "DejaVu Sans"} << "";
  }
  void PicksFirstInstalledPreferredFont() {
    QFETCH(QStringList, installed);
    QFETCH(QString, picked);
    QCOMPARE(w::PickUiFontFamily(installed), picked);
  }

 private:
  const logic::UncodedMarks no_marks_;
};

QTEST_MAIN(BoxTextTest)
#include "box_text_test.moc"
