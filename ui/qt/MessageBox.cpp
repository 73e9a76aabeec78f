#include "ui/qt/MessageBox.h"

#include <QMessageBox>
#include <utility>

namespace {

MessageBoxHandler& InstalledHandler() {
  static MessageBoxHandler handler;
  return handler;
}

}  // namespace

void ShowMessageBox(QWidget* owner, const QString& text, const QString& caption,
                    MessageIcon icon) {
  const MessageBoxRequest request{owner, text, caption, icon};
  if (const MessageBoxHandler& handler = InstalledHandler()) {
    handler(request);
    return;
  }
  QMessageBox box(icon == MessageIcon::Stop ? QMessageBox::Critical : QMessageBox::Warning,
                  caption, text, QMessageBox::Ok, owner);
  box.exec();
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  return std::exchange(InstalledHandler(), std::move(handler));
}
