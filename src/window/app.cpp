#include "window/app.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>

#include "window/font_choice.h"
#include "window/form1.h"

namespace binconv::window {

int RunWindow(const std::filesystem::path& dir) {
  // The dialogs are windows of their own and would not inherit it from the form.
  QApplication::setFont(UiFont());
  Form1 form;
  if (auto error = form.Load(dir)) {
    QMessageBox::critical(nullptr, QString::fromUtf16(kCaption), TableErrorMessage(*error));
    return 1;
  }
  form.show();
  form.activateWindow();
  form.text1().setFocus();
  return QApplication::exec();
}

}  // namespace binconv::window
