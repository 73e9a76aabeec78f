// Every message box of the wizard goes through ShowMessageBox, so that one place
// decides how a message reaches the user. Tests install a handler that records the
// request (and looks at the windows on the screen at that moment) instead of waiting
// for a click.
#pragma once

#include <QString>
#include <functional>

#include "wizard/Views.h"

class QWidget;

// Exclamation: the warning icon; Stop: the critical icon.
using MessageIcon = zerviko::wizard::MessageIcon;

struct MessageBoxRequest {
  QWidget* owner = nullptr;
  QString text;
  QString caption;
  MessageIcon icon = MessageIcon::Exclamation;
};

using MessageBoxHandler = std::function<void(const MessageBoxRequest&)>;

// Shows a modal box with the text, the caption, an OK button and the icon, owned by
// owner, and returns when the user has closed it.
void ShowMessageBox(QWidget* owner, const QString& text, const QString& caption,
                    MessageIcon icon = MessageIcon::Exclamation);

// Routes every later box to handler; an empty handler restores the real boxes.
// Returns the handler that was installed before. GUI thread only.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);
