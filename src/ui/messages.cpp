#include "ui/messages.h"

#include <QMessageBox>

namespace pvelm {

namespace {

MessageHandler &currentHandler()
{
    static MessageHandler handler;
    return handler;
}

QuestionHandler &currentQuestionHandler()
{
    static QuestionHandler handler;
    return handler;
}

} // namespace

void showMessage(QWidget *parent, const QString &text)
{
    if (const MessageHandler &handler = currentHandler()) {
        handler(text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("PVelm"), text, QMessageBox::Ok, parent);
    box.exec();
}

MessageHandler setMessageHandler(MessageHandler handler)
{
    return std::exchange(currentHandler(), std::move(handler));
}

Answer askQuestion(QWidget *parent, const QString &text)
{
    if (const QuestionHandler &handler = currentQuestionHandler())
        return handler(text);
    QMessageBox box(QMessageBox::Question, QStringLiteral("PVelm"), text,
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, parent);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    default:
        return Answer::Cancel;
    }
}

bool confirmDefaultNo(QWidget *parent, const QString &text)
{
    if (const QuestionHandler &handler = currentQuestionHandler())
        return handler(text) == Answer::Yes;
    QMessageBox box(QMessageBox::Question, QStringLiteral("PVelm"), text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

QuestionHandler setQuestionHandler(QuestionHandler handler)
{
    return std::exchange(currentQuestionHandler(), std::move(handler));
}

} // namespace pvelm
