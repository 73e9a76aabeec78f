// What the wizard's tests share: a recorder for message boxes, packages written on
// the fly, and a look at the windows on the screen.
#pragma once

#include <QApplication>
#include <QByteArray>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

#include "ui/MessageBox.h"
#include "ui/MessageDialog.h"

namespace uitest {

// Whether the busy window is on the screen now.
inline bool BusyWindowVisible() {
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (qobject_cast<CMessageDialog*>(window) != nullptr && window->isVisible()) return true;
  }
  return false;
}

// One message box as it was asked for, and what the screen showed at that moment.
struct RecordedBox {
  QString text;
  QString caption;
  MessageIcon icon = MessageIcon::Exclamation;
  bool busyVisible = false;
  QString extra;  // whatever the test's probe returned
};

// Routes every message box to a list for as long as it lives.
class MessageRecorder {
 public:
  explicit MessageRecorder(std::function<QString()> probe = {}) : m_probe(std::move(probe)) {
    m_previous = SetMessageBoxHandler([this](const MessageBoxRequest& request) {
      boxes.push_back({request.text, request.caption, request.icon, BusyWindowVisible(),
                       m_probe ? m_probe() : QString()});
    });
  }
  ~MessageRecorder() { SetMessageBoxHandler(m_previous); }
  MessageRecorder(const MessageRecorder&) = delete;
  MessageRecorder& operator=(const MessageRecorder&) = delete;

  std::vector<RecordedBox> boxes;

 private:
  std::function<QString()> m_probe;
  MessageBoxHandler m_previous;
};

// A package with all four language sections; the English one carries the texts.
inline QByteArray MakePackage(const QByteArray& revision, const QByteArray& setup,
                              const QByteArray& image) {
  QByteArray text = "Test package\r\n";
  for (const char* language : {"ENGLISH", "GERMAN", "PORTUGUESE", "SPANISH"}) {
    const QByteArray name(language);
    const bool english = name == "ENGLISH";
    text += "<LANG_" + name + ">\r\n<REVISION>\r\n" + (english ? revision : name + " revision") +
            "\r\n<END REVISION>\r\n<DEVICE SETUP>\r\n" + (english ? setup : name + " setup") +
            "\r\n<END DEVICE SETUP>\r\n<END LANG_" + name + ">\r\n";
  }
  return text + "<CODE>\r\n" + image;
}

inline bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  return file.write(bytes) == bytes.size();
}

inline QByteArray ReadFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

}  // namespace uitest
