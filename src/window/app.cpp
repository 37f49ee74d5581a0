#include "window/app.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>

#include "window/form1.h"

namespace binconv::window {

int RunWindow(const std::filesystem::path& dir) {
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
