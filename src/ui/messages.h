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

// A question with the buttons Yes, No and Cancel (Escape and closing the
// box answer Cancel). Tests install a handler that answers instead.
enum class Answer { Yes, No, Cancel };
Answer askQuestion(QWidget *parent, const QString &text);

// A question with the buttons Yes and No, for a step that should only be
// taken on purpose: No is the default, and Escape or closing the box answer
// No too. True only for Yes. The question handler below answers it in
// tests (its Cancel counts as No).
bool confirmDefaultNo(QWidget *parent, const QString &text);

using QuestionHandler = std::function<Answer(const QString &text)>;

// Replaces the question box with `handler`; an empty handler restores the
// box. Returns the handler that was installed before.
QuestionHandler setQuestionHandler(QuestionHandler handler);

} // namespace pvelm
