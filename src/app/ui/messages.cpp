#include "app/ui/messages.h"

#include <QMessageBox>

namespace pvelm {

namespace {

MessageHandler &currentHandler()
{
    static MessageHandler handler;
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

} // namespace pvelm
