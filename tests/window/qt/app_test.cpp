// The program's run: the window appears only once the tables are read, with
// the focus in the name box; a table error ends it with a message and status 1.

#include "window/qt/app.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <span>
#include <string>
#include <vector>

#include "runtime/version.h"
#include "test_tables.h"
#include "window/qt/form1.h"

namespace w = binconv::window::qt;

class AppTest : public QObject {
  Q_OBJECT

 private slots:
  void MissingTablesShowMessageAndNoWindow() {
    QTemporaryDir empty;
    QString shown;
    bool window_seen = false;
    QCOMPARE(RunClosingMessages(
                 [&] { return w::RunWindow(std::filesystem::path(empty.path().toStdU16String())); },
                 shown, window_seen),
             1);
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
    QCOMPARE(w::RunWindow(std::filesystem::path(dir.path().toStdU16String())), 0);
    QCOMPARE(focus, "Text1");
    QCOMPARE(name, "temp.bin");
  }

  void NoTableFolderListsEveryFolderTried() {
    binconv::Problem error{binconv::ProblemCode::kNoTableFolder, "Zezovar.ini"};
    error.files = {"/first/place", "/second/place"};
    QString shown;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        shown = box->text();
        box->close();
      }
    });
    poll.start(5);
    QCOMPARE(w::RunWindow(binconv::Unexpected(error)), 1);
    QVERIFY2(shown.contains("/first/place") && shown.contains("/second/place"), qPrintable(shown));
  }

  // A bad .tbl given with --tbl is told as bad tables are: a message naming
  // the file and line of each problem, and no window.
  void BadTblShowsMessageAndNoWindow() {
    QTemporaryDir dir;
    const QString tbl = dir.filePath("bad.tbl");
    QFile file(tbl);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("41=A\nZZ=B\n/41=C\n") > 0);
    file.close();
    QString shown;
    bool window_seen = false;
    const std::string name = tbl.toStdString();
    const char* const args[] = {"--tbl", name.c_str()};
    QCOMPARE(RunClosingMessages([&] { return w::RunWindow(std::span<const char* const>(args)); },
                                shown, window_seen),
             1);
    QVERIFY2(shown.contains("bad.tbl:2：") && shown.contains("bad.tbl:3："), qPrintable(shown));
    QVERIFY(!window_seen);
  }

  void CommandLineAnswers_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("answer");  // empty: the window starts
    const QString version = QStringLiteral("binconv ") + binconv::kVersion + "\n";
    QTest::newRow("version") << QStringList{"--version"} << version;
    QTest::newRow("version after others") << QStringList{"-x", "--version"} << version;
    QTest::newRow("help") << QStringList{"--help"} << "Usage: binconv [--help | --version]";
    QTest::newRow("short help") << QStringList{"-h"} << "Usage: binconv [--help | --version]";
    QTest::newRow("ignored") << QStringList{"file.txt", "--verbose", "-v"} << QString();
    QTest::newRow("none") << QStringList{} << QString();
  }

  void CommandLineAnswers() {
    QFETCH(QStringList, args);
    QFETCH(QString, answer);
    std::vector<std::string> storage;
    for (const QString& arg : args) storage.push_back(arg.toStdString());
    std::vector<const char*> argv;
    for (const std::string& arg : storage) argv.push_back(arg.c_str());
    const std::optional<std::string> got = w::CommandLineAnswer(argv);
    QCOMPARE(got.has_value(), !answer.isEmpty());
    if (got) QVERIFY2(QString::fromStdString(*got).startsWith(answer), got->c_str());
  }

 private:
  // Runs `run`, closing each message box it shows (the last one's text goes to
  // `shown`) and noting whether the form was ever visible.
  template <class Run>
  int RunClosingMessages(Run&& run, QString& shown, bool& window_seen) {
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
      window_seen = window_seen || VisibleForm() != nullptr;
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        shown = box->text();
        box->close();
      }
    });
    poll.start(5);
    return run();
  }

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
