#pragma once
// The tool's one window: the input box, the conversion button, the listing
// box, the output name box and the output button.

#include <QString>
#include <QWidget>
#include <filesystem>
#include <optional>

#include "chartable/char_table.h"
#include "chartable/load.h"
#include "runtime/file.h"
#include "window/logic/form_logic.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace binconv::window {

class CodeBox;

// Dialog texts for the two failures that are not the writer's listing messages.
QString TableErrorMessage(const TableError& error);
QString WriteErrorMessage(const IoError& error);

class Form1 : public QWidget {
  Q_OBJECT

 public:
  explicit Form1(QWidget* parent = nullptr);

  // The start-up sequence: the boxes get their start values, then the tables
  // are read from `dir`. On an error the table is left empty.
  std::optional<TableError> Load(const std::filesystem::path& dir);

  QLineEdit& text1() { return *text1_; }
  CodeBox& text2() { return *text2_; }
  QPlainTextEdit& text3() { return *text3_; }
  QLabel& label2() { return *label2_; }

 private:
  void ConvertToCode();
  void WriteBinary();

  QLabel* label1_;
  QLabel* label2_;
  QLabel* label3_;
  QLineEdit* text1_;
  CodeBox* text2_;
  QPlainTextEdit* text3_;
  QPushButton* command1_;
  QPushButton* command3_;
  CharTable table_;
};

}  // namespace binconv::window
