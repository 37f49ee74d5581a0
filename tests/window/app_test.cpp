// The program's run: the window appears only once the tables are read, with
// the focus in the name box; a table error ends it with a message and status 1.

#include "window/app.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "test_tables.h"
#include "window/form1.h"

namespace w = binconv::window;

class AppTest : public QObject {
  Q_OBJECT

 private slots:
  void MissingTablesShowMessageAndNoWindow() {
    QTemporaryDir empty;
    QString shown;
    bool window_seen = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
      window_seen = window_seen || VisibleForm() != nullptr;
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        shown = box->text();
        box->close();
      }
    });
    poll.start(5);
    QCOMPARE(w::RunWindow(empty.path().toStdString()), 1);
    QVERIFY2(shown.contains("Zezovar.ini"), qPrintable(shown));
    QVERIFY(!window_seen);
  }

  void WindowShownWithFocusInNameBox() {
    QTemporaryDir dir;
    QVERIFY(w::testing::WriteSmallTables(dir.path()));
    QString focus;
    QString name;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
      w::Form1* form = VisibleForm();
      if (!form || !form->isActiveWindow()) return;
      focus = QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : "";
      name = form->text1().text();
      form->close();
    });
    poll.start(5);
    QCOMPARE(w::RunWindow(dir.path().toStdString()), 0);
    QCOMPARE(focus, "Text1");
    QCOMPARE(name, "temp.bin");
  }

 private:
  static w::Form1* VisibleForm() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      auto* form = qobject_cast<w::Form1*>(widget);
      if (form && form->isVisible()) return form;
    }
    return nullptr;
  }
};

QTEST_MAIN(AppTest)
#include "app_test.moc"
