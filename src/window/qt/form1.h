#pragma once
// The tool's one window in Qt: the input box, the conversion button, the
// listing box, the output name box and the output button, built from the
// shared layout table and driven by the shared form logic.

#include <QString>
#include <QWidget>
#include <array>
#include <concepts>
#include <filesystem>
#include <optional>

#include "chartable/char_table.h"
#include "chartable/game_table.h"
#include "chartable/table_folders.h"
#include "runtime/result.h"
#include "window/logic/form_layout.h"
#include "window/logic/form_logic.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace binconv::window::qt {

class CodeBox;

// Twips to pixels: at 96 dpi fifteen make one pixel, and Qt's high-DPI
// scaling takes it from there.
QRect PixelsFromTwips(const logic::ControlLayout& place);

class Form1 : public QWidget {
  Q_OBJECT

 public:
  explicit Form1(QWidget* parent = nullptr);

  // The start-up sequence: the boxes get their start values, then the tables
  // are read and the code box's caption names their folder in its tooltip.
  // On an error the table is left empty and the dialog text is returned.
  // A template taking exactly the search's Result: a folder given by name
  // converts to a path and to a Result alike, and must go to the path.
  template <std::same_as<Result<std::filesystem::path, Problem>> Found>
  std::optional<QString> Load(const Found& found) {
    return LoadFound(found);
  }
  std::optional<QString> Load(const std::filesystem::path& dir);
  // The same as the command line says: with --tbl FILE, that game's own
  // table, named in the tooltip; else the tables the search from `place` finds.
  std::optional<QString> Load(const logic::WindowArgs& args, const TableSearchPlace& place);

  QWidget& control(logic::Control control) const;
  QLineEdit& text1() { return *text1_; }
  CodeBox& text2() { return *text2_; }
  QPlainTextEdit& text3() { return *text3_; }
  QLabel& label2() { return *label2_; }

 private:
  std::optional<QString> LoadFound(const Result<std::filesystem::path, Problem>& found);
  // The boxes get their start values, then the outcome of the load event.
  std::optional<QString> Start(logic::LoadOutcome loaded);
  void ConvertToCode();
  void WriteBinary();

  std::array<QWidget*, logic::kLayout.size()> controls_{};  // in layout order
  QLabel* label2_ = nullptr;
  QLineEdit* text1_ = nullptr;
  CodeBox* text2_ = nullptr;
  QPlainTextEdit* text3_ = nullptr;
  GameTable encoding_ = logic::NoEncoding();  // of the tables, or of --tbl FILE
};

}  // namespace binconv::window::qt
