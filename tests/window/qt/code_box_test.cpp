// The listing box selects its whole text whenever it receives the focus, by
// keyboard or by mouse.

#include "window/qt/code_box.h"

#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

namespace w = binconv::window::qt;

class CodeBoxTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    window_ = new QWidget;
    auto* layout = new QVBoxLayout(window_);
    before_ = new QLineEdit(window_);
    box_ = new w::CodeBox(window_);
    after_ = new QLineEdit(window_);
    layout->addWidget(before_);
    layout->addWidget(box_);
    layout->addWidget(after_);
    box_->setTabChangesFocus(true);
    box_->setPlainText("1A 2B 24\n3C 4D ");
    window_->show();
    QVERIFY(QTest::qWaitForWindowActive(window_));
    before_->setFocus();
    box_->moveCursor(QTextCursor::End);
  }
  void cleanup() { delete window_; }

  void TabAndBacktabSelectAll() {
    QTest::keyClick(before_, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), box_);
    VerifyAllSelected();
    QTest::keyClick(box_, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), after_);
    box_->moveCursor(QTextCursor::Start);
    QTest::keyClick(after_, Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), box_);
    VerifyAllSelected();
  }

  void EmptyBoxGetsEmptySelectionAtZero() {
    box_->setPlainText("");
    QTest::keyClick(before_, Qt::Key_Tab);
    QVERIFY(!box_->textCursor().hasSelection());
    QCOMPARE(box_->textCursor().position(), 0);
  }

  // The press that gives the focus would place the caret; the selection stays.
  void ClickThatGivesFocusKeepsSelection() {
    const QPoint middle = box_->cursorRect(CursorAt(4)).center();
    QTest::mouseClick(box_->viewport(), Qt::LeftButton, {}, middle);
    QCOMPARE(QApplication::focusWidget(), box_);
    VerifyAllSelected();
    QTest::qWait(20);
    VerifyAllSelected();
    // A later click is the text box's own: it places the caret.
    QTest::mouseClick(box_->viewport(), Qt::LeftButton, {}, middle);
    QVERIFY(!box_->textCursor().hasSelection());
    QCOMPARE(box_->textCursor().position(), 4);
  }

  void FocusReasons_data() {
    QTest::addColumn<int>("reason");
    QTest::addColumn<bool>("selects");
    QTest::newRow("shortcut") << int(Qt::ShortcutFocusReason) << true;
    QTest::newRow("back from a menu") << int(Qt::PopupFocusReason) << false;
    QTest::newRow("window reactivated") << int(Qt::ActiveWindowFocusReason) << false;
  }
  void FocusReasons() {
    QFETCH(int, reason);
    QFETCH(bool, selects);
    box_->setTextCursor(CursorAt(3));
    box_->setFocus(static_cast<Qt::FocusReason>(reason));
    QCOMPARE(QApplication::focusWidget(), box_);
    if (selects) {
      VerifyAllSelected();
    } else {
      QVERIFY(!box_->textCursor().hasSelection());
      QCOMPARE(box_->textCursor().position(), 3);
    }
  }

 private:
  QTextCursor CursorAt(int position) {
    QTextCursor cursor(box_->document());
    cursor.setPosition(position);
    return cursor;
  }
  void VerifyAllSelected() {
    const QTextCursor cursor = box_->textCursor();
    QCOMPARE(cursor.selectionStart(), 0);
    QCOMPARE(cursor.selectionEnd(), box_->document()->characterCount() - 1);
    QCOMPARE(cursor.selectedText(), u"1A 2B 24\u20293C 4D ");
  }

  QWidget* window_ = nullptr;
  QLineEdit* before_ = nullptr;
  w::CodeBox* box_ = nullptr;
  QLineEdit* after_ = nullptr;
};

QTEST_MAIN(CodeBoxTest)
#include "code_box_test.moc"
