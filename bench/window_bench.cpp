// The window on whole game scripts, in the offscreen platform: Command1 until
// the listing is painted, and Command1 then Command3 until the file is
// written. Wall time, as the user waits it.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/text_gen.h"
#include "chartable/load.h"
#include "window/qt/code_box.h"
#include "window/qt/font_choice.h"
#include "window/qt/form1.h"

namespace binconv::bench {
namespace {

constexpr std::uint32_t kSeed = 20240611;
constexpr std::size_t kMegabyte = std::size_t{1} << 20;

// The text as the input box holds it: one paragraph per line.
QString BoxText(std::size_t megabytes) {
  auto table = LoadCharTables(BINCONV_SOURCE_DIR "/tables");
  if (!table) std::abort();
  TextMix mix = kAllEncodable;
  mix.line_break = u"\n";
  const std::u16string text = GenerateText(table.value(), megabytes * kMegabyte, mix, kSeed);
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

class Window {
 public:
  Window() {
    if (form_.Load(BINCONV_SOURCE_DIR "/tables")) std::abort();
    form_.show();
    QApplication::processEvents();
    command1_ = form_.findChild<QPushButton*>(QStringLiteral("Command1"));
    command3_ = form_.findChild<QPushButton*>(QStringLiteral("Command3"));
    if (!command1_ || !command3_) std::abort();
  }

  window::qt::Form1& form() { return form_; }

  // Clicks and returns once the window has handled the click and painted.
  void Click(QPushButton& button) {
    button.click();
    QApplication::processEvents();
    form_.repaint();
  }
  QPushButton& command1() { return *command1_; }
  QPushButton& command3() { return *command3_; }

  // The listing box as at start, without the undo history of earlier rounds.
  void ClearListing() {
    form_.text2().setPlainText(QString());
    form_.text2().document()->clearUndoRedoStacks();
    QApplication::processEvents();
  }

 private:
  window::qt::Form1 form_;
  QPushButton* command1_ = nullptr;
  QPushButton* command3_ = nullptr;
};

void BM_Command1(benchmark::State& state) {
  const auto megabytes = static_cast<std::size_t>(state.range(0));
  Window window;
  window.form().text3().setPlainText(BoxText(megabytes));
  int listing_units = 0;
  for (auto _ : state) {
    window.Click(window.command1());
    state.PauseTiming();
    listing_units = window.form().text2().document()->characterCount();
    if (listing_units <= 1) state.SkipWithError("no listing");
    window.ClearListing();
    state.ResumeTiming();
  }
  state.counters["listing_units"] = listing_units;
}

void BM_ConvertAndWrite(benchmark::State& state) {
  const auto megabytes = static_cast<std::size_t>(state.range(0));
  Window window;
  window.form().text3().setPlainText(BoxText(megabytes));
  QTemporaryDir dir;
  const QString path = QDir(dir.path()).filePath(QStringLiteral("script.bin"));
  window.form().text1().setText(path);
  qint64 written = 0;
  for (auto _ : state) {
    window.Click(window.command1());
    window.Click(window.command3());
    state.PauseTiming();
    written = QFileInfo(path).size();
    if (written == 0) state.SkipWithError("nothing written");
    window.ClearListing();
    QFile::remove(path);
    state.ResumeTiming();
  }
  state.counters["bytes_written"] = static_cast<double>(written);
}

}  // namespace
}  // namespace binconv::bench

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setFont(binconv::window::qt::UiFont());
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  // Targets: the listing of 1 MB shown within 300 ms; 10 MB converted and
  // written within 5 s.
  benchmark::RegisterBenchmark("Form1/Command1", binconv::bench::BM_Command1)
      ->Arg(1)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  benchmark::RegisterBenchmark("Form1/Command1ThenCommand3", binconv::bench::BM_ConvertAndWrite)
      ->Arg(10)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime()
      ->Iterations(3);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
