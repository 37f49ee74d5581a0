#include "window/qt/form1.h"

#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <utility>

#include "window/qt/box_text.h"
#include "window/qt/code_box.h"
#include "window/qt/font_choice.h"

namespace binconv::window::qt {
namespace {

constexpr int kTwipsPerPixel = logic::kTwipsPerInch / 96;

QString FromCore(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

void MakeMultiLine(QPlainTextEdit& box, Qt::ScrollBarPolicy vertical) {
  box.setLineWrapMode(QPlainTextEdit::WidgetWidth);
  box.setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  box.setVerticalScrollBarPolicy(vertical);
  box.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  box.setTabChangesFocus(true);
}

QWidget* MakeControl(QWidget* parent, const logic::ControlLayout& place) {
  QWidget* widget = nullptr;
  switch (place.kind) {
    case logic::ControlKind::kLabel: {
      auto* label = new QLabel(FromCore(place.caption), parent);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      label->setFocusPolicy(Qt::NoFocus);
      widget = label;
      break;
    }
    case logic::ControlKind::kSingleLine:
      widget = new QLineEdit(parent);
      break;
    case logic::ControlKind::kMultiLine: {
      auto* box = new QPlainTextEdit(parent);
      MakeMultiLine(*box, Qt::ScrollBarAlwaysOff);
      widget = box;
      break;
    }
    case logic::ControlKind::kScrolled: {
      auto* box = new CodeBox(parent);
      MakeMultiLine(*box, Qt::ScrollBarAlwaysOn);
      widget = box;
      break;
    }
    case logic::ControlKind::kButton: {
      auto* button = new QPushButton(FromCore(place.caption), parent);
      // Enter on a focused button presses it, as on Windows.
      button->setAutoDefault(true);
      widget = button;
      break;
    }
  }
  widget->setObjectName(
      QLatin1String(place.name.data(), static_cast<qsizetype>(place.name.size())));
  widget->setGeometry(PixelsFromTwips(place));
  return widget;
}

}  // namespace

QRect PixelsFromTwips(const logic::ControlLayout& place) {
  return QRect(place.left / kTwipsPerPixel, place.top / kTwipsPerPixel,
               place.width / kTwipsPerPixel, place.height / kTwipsPerPixel);
}

Form1::Form1(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(FromCore(logic::kCaption));
  setWindowIcon(QIcon(QStringLiteral(":/binconv/icon.png")));
  setFont(UiFont());
  setFixedSize(logic::kClientWidthTwips / kTwipsPerPixel,
               logic::kClientHeightTwips / kTwipsPerPixel);

  for (std::size_t i = 0; i < logic::kLayout.size(); ++i) {
    controls_[i] = MakeControl(this, logic::kLayout[i]);
  }
  label2_ = qobject_cast<QLabel*>(&control(logic::Control::kLabel2));
  text1_ = qobject_cast<QLineEdit*>(&control(logic::Control::kText1));
  text2_ = qobject_cast<CodeBox*>(&control(logic::Control::kText2));
  text3_ = qobject_cast<QPlainTextEdit*>(&control(logic::Control::kText3));

  QWidget* previous = nullptr;
  for (const logic::ControlLayout& place : logic::TabOrder()) {
    if (place.kind == logic::ControlKind::kLabel) continue;
    QWidget* next = &control(place.control);
    if (previous != nullptr) setTabOrder(previous, next);
    previous = next;
  }

  connect(qobject_cast<QPushButton*>(&control(logic::Control::kCommand1)), &QPushButton::clicked,
          this, &Form1::ConvertToCode);
  connect(qobject_cast<QPushButton*>(&control(logic::Control::kCommand3)), &QPushButton::clicked,
          this, &Form1::WriteBinary);
}

QWidget& Form1::control(logic::Control control) const {
  // controls_ is in layout order: the control's place in the table is its index.
  return *controls_[static_cast<std::size_t>(&logic::LayoutOf(control) - logic::kLayout.data())];
}

std::optional<QString> Form1::LoadFound(const Result<std::filesystem::path, Problem>& found) {
  return Start(logic::LoadForm(found));
}

std::optional<QString> Form1::Load(const std::filesystem::path& dir) { return LoadFound(dir); }

std::optional<QString> Form1::Load(const logic::WindowArgs& args, const TableSearchPlace& place) {
  return Start(logic::LoadForm(args, place));
}

std::optional<QString> Form1::Start(logic::LoadOutcome loaded) {
  text1_->setText(FromCore(logic::kText1Start));
  text2_->setPlainText(QString());
  text3_->setPlainText(QString());
  text1_->setFocus();
  encoding_ = std::move(loaded.encoding);
  label2_->setToolTip(FromCore(loaded.tables_tooltip));
  if (loaded.error_message) return FromCore(*loaded.error_message);
  return std::nullopt;
}

void Form1::ConvertToCode() {
  const logic::ConvertOutcome outcome = logic::ConvertForm(CoreTextOf(*text3_), encoding_);
  text2_->ShowListing(outcome.listing, outcome.uncoded);
}

void Form1::WriteBinary() {
  const logic::WriteOutcome outcome =
      logic::WriteForm(CoreTextOf(*text2_), text1_->text().toStdU16String(), text2_->uncoded());
  switch (outcome.kind) {
    case logic::WriteOutcome::Kind::kWritten:
      break;
    case logic::WriteOutcome::Kind::kBoxMessage:
      ReplaceTextUndoable(*text2_, FromCore(outcome.text));
      break;
    case logic::WriteOutcome::Kind::kErrorDialog:
      QMessageBox::critical(this, FromCore(logic::kCaption), FromCore(outcome.text));
      break;
  }
}

}  // namespace binconv::window::qt
