#include "window/qt/app.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <string_view>
#include <vector>

#include "messages/messages.h"
#include "runtime/version.h"
#include "window/logic/form_layout.h"
#include "window/logic/form_logic.h"
#include "window/qt/font_choice.h"
#include "window/qt/form1.h"

namespace binconv::window::qt {

int RunWindow(const std::filesystem::path& dir) {
  return RunWindow(Result<std::filesystem::path, Problem>(dir));
}

namespace {

// Shows the form once `load` has loaded it, or the message of its error.
template <class Load>
int RunLoaded(Load&& load) {
  // The dialogs are windows of their own and would not inherit it from the form.
  QApplication::setFont(UiFont());
  Form1 form;
  if (const std::optional<QString> error = load(form)) {
    QMessageBox::critical(
        nullptr,
        QString::fromUtf16(logic::kCaption.data(), static_cast<qsizetype>(logic::kCaption.size())),
        *error);
    return 1;
  }
  form.show();
  form.activateWindow();
  form.text1().setFocus();
  return QApplication::exec();
}

}  // namespace

int RunWindow(const Result<std::filesystem::path, Problem>& found) {
  return RunLoaded([&](Form1& form) { return form.Load(found); });
}

int RunWindow(std::span<const char* const> args) {
  const std::vector<std::string_view> views(args.begin(), args.end());
  return RunLoaded([&](Form1& form) {
    return form.Load(logic::WindowArgsOf(views), TableSearchPlaceOfThisProcess());
  });
}

std::optional<std::string> CommandLineAnswer(std::span<const char* const> args) {
  for (const std::string_view arg : args) {
    if (arg == "--version") return std::string("binconv ") + kVersion + "\n";
    if (arg == "--help" || arg == "-h") {
      return std::string(
                 "Usage: binconv [--help | --version]\n"
                 "       binconv [--tbl FILE]\n\n"
                 "Opens the window of binconv, バイナリ変換ツール (binary conversion tool),\n"
                 "which turns Japanese text into the bytes of a game's own character\n"
                 "encoding, defined by two table files. Type or paste the text, press the\n"
                 "conversion button to see its codes as a hex listing, check or edit the\n"
                 "listing, name an output file (temp.bin unless changed) and press the\n"
                 "output button to write the bytes. For scripts and whole folders of text\n"
                 "use binconv-cli.\n\n"
                 "Options:\n"
                 "  -h, --help      show this help and exit\n"
                 "      --version   print the version and exit\n"
                 "      --tbl FILE  convert through the game's own table FILE (a .tbl,\n"
                 "                  as binconv-cli encode --tbl reads it) instead of\n"
                 "                  the two table files\n"
                 "Any other argument is refused with a message naming it.\n\n") +
             messages::TableSearchHelp(messages::Language::kEnglish) +
             "\nThe window shows the folder it uses (or with --tbl, the .tbl file) as\n"
             "the tooltip of the code box's caption.\n";
    }
  }
  return std::nullopt;
}

}  // namespace binconv::window::qt
