#pragma once

#include <functional>

#include <QString>

class QWidget;

namespace pvelm {

// Every message box of the console goes through here: a modal box with the
// text and a single OK button. Tests install a handler instead, so that no
// box stays open waiting for a click that never comes.
void showMessage(QWidget *parent, const QString &text);

using MessageHandler = std::function<void(const QString &text)>;

// Replaces the message box with `handler`; an empty handler restores the box.
// Returns the handler that was installed before.
MessageHandler setMessageHandler(MessageHandler handler);

} // namespace pvelm
