#include "window/form1.h"

#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <system_error>
#include <type_traits>
#include <utility>
#include <variant>

#include "conversion/convert.h"
#include "conversion/write.h"
#include "window/box_text.h"
#include "window/code_box.h"
#include "window/font_choice.h"

namespace binconv::window {
namespace {

// The form was laid out in twips; at 96 dpi fifteen make one pixel, and Qt's
// high-DPI scaling takes it from there.
constexpr int kTwipsPerPixel = 15;

QRect FromTwips(int left, int top, int width, int height) {
  return QRect(left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
               height / kTwipsPerPixel);
}

template <class W>
W* Place(W* widget, const char* name, QRect geometry) {
  widget->setObjectName(QLatin1String(name));
  widget->setGeometry(geometry);
  return widget;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
  auto* label = Place(new QLabel(caption, parent), name, geometry);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setFocusPolicy(Qt::NoFocus);
  return label;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
  auto* button = Place(new QPushButton(caption, parent), name, geometry);
  // Enter on a focused button presses it, as on Windows.
  button->setAutoDefault(true);
  return button;
}

void MakeMultiLine(QPlainTextEdit& box, Qt::ScrollBarPolicy vertical) {
  box.setLineWrapMode(QPlainTextEdit::WidgetWidth);
  box.setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  box.setVerticalScrollBarPolicy(vertical);
  box.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  box.setTabChangesFocus(true);
}

QString FromCore(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QString TableErrorMessage(const TableError& error) { return FromCore(TableErrorText(error)); }

QString WriteErrorMessage(const IoError& error) { return FromCore(WriteErrorText(error)); }

Form1::Form1(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QString::fromUtf16(kCaption));
  setWindowIcon(QIcon(QStringLiteral(":/binconv/icon.png")));
  setFont(UiFont());
  setFixedSize(7020 / kTwipsPerPixel, 4815 / kTwipsPerPixel);

  label3_ = MakeLabel(this, "Label3", QStringLiteral("日本語："), FromTwips(150, 60, 2415, 285));
  text3_ = Place(new QPlainTextEdit(this), "Text3", FromTwips(150, 300, 6765, 1455));
  MakeMultiLine(*text3_, Qt::ScrollBarAlwaysOff);
  command1_ =
      MakeButton(this, "Command1", QStringLiteral("コード変換"), FromTwips(2700, 1830, 1515, 345));
  label2_ = MakeLabel(this, "Label2", QStringLiteral("コード："), FromTwips(150, 2190, 2325, 255));
  text2_ = Place(new CodeBox(this), "Text2", FromTwips(150, 2430, 6765, 1335));
  MakeMultiLine(*text2_, Qt::ScrollBarAlwaysOn);
  label1_ = MakeLabel(this, "Label1", QStringLiteral("出力ファイル名："),
                      FromTwips(150, 3840, 2175, 285));
  text1_ = Place(new QLineEdit(this), "Text1", FromTwips(150, 4050, 6765, 285));
  command3_ = MakeButton(this, "Command3", QStringLiteral("バイナリ出力"),
                         FromTwips(2670, 4410, 1515, 375));

  setTabOrder(text1_, text2_);
  setTabOrder(text2_, command3_);
  setTabOrder(command3_, text3_);
  setTabOrder(text3_, command1_);

  connect(command1_, &QPushButton::clicked, this, &Form1::ConvertToCode);
  connect(command3_, &QPushButton::clicked, this, &Form1::WriteBinary);
}

std::optional<TableError> Form1::Load(const std::filesystem::path& dir) {
  text1_->setText(QString::fromUtf16(kDefaultOutputName.data(),
                                     static_cast<qsizetype>(kDefaultOutputName.size())));
  text2_->setPlainText(QString());
  text3_->setPlainText(QString());
  text1_->setFocus();
  auto loaded = LoadCharTables(dir);
  if (!loaded) {
    table_ = CharTable();
    label2_->setToolTip(QString());
    return loaded.error();
  }
  table_ = std::move(loaded).value();
  // Where the tables came from, without a change to the layout.
  std::error_code error;
  std::filesystem::path shown = std::filesystem::absolute(dir, error);
  shown = (error ? dir : shown).lexically_normal();
  if (!shown.has_filename() && shown.has_relative_path()) shown = shown.parent_path();
  label2_->setToolTip(QStringLiteral("文字テーブル：") +
                      QString::fromStdU16String(shown.u16string()));
  return std::nullopt;
}

void Form1::ConvertToCode() {
  const std::u16string listing = ConvertForm(CoreTextOf(*text3_), table_);
  ReplaceTextUndoable(*text2_, BoxTextFromCore(listing));
}

void Form1::WriteBinary() {
  const WriteOutcome outcome = WriteForm(CoreTextOf(*text2_), text1_->text().toStdU16String());
  switch (outcome.kind) {
    case WriteOutcome::Kind::kWritten:
      break;
    case WriteOutcome::Kind::kBoxMessage:
      ReplaceTextUndoable(*text2_, FromCore(outcome.text));
      break;
    case WriteOutcome::Kind::kErrorDialog:
      QMessageBox::critical(this, FromCore(kCaption), FromCore(outcome.text));
      break;
  }
}

}  // namespace binconv::window
