#include "app/ui/messagebar.h"

#include <QPainter>

namespace pvelm {

MessageBar::MessageBar(QWidget *parent) : QStatusBar(parent)
{
    connect(this, &QStatusBar::messageChanged, this, [this](const QString &message) {
        setToolTip(message);
        setAccessibleDescription(message);
    });
}

void MessageBar::showNote(const QString &text)
{
    m_note = text;
    showMessage(text, m_noteTimeoutMs);
}

void MessageBar::clearNote()
{
    if (!m_note.isEmpty() && currentMessage() == m_note)
        clearMessage();
    m_note.clear();
}

QRect MessageBar::messageArea() const
{
    const int left = 6;
    return QRect(left, 0, qMax(0, roomEnd() - left - fontMetrics().averageCharWidth()), height());
}

int MessageBar::roomEnd() const
{
    // QStatusBar's own margins. While a message shows, the only visible
    // children are the permanent widgets and the size grip.
    int right = width() - 12;
    for (const QObject *child : children()) {
        const auto *w = qobject_cast<const QWidget *>(child);
        if (w && w->isVisible() && !w->isWindow())
            right = qMin(right, w->x() - 2);
    }
    return right;
}

QString MessageBar::shownMessage() const
{
    return fontMetrics().elidedText(currentMessage(), Qt::ElideRight, messageArea().width());
}

void MessageBar::paintEvent(QPaintEvent *event)
{
    QStatusBar::paintEvent(event);
    const QString message = currentMessage();
    const QString shown = shownMessage();
    if (shown == message)
        return;
    // Too long: paint over what QStatusBar drew, up to the first permanent
    // widget, and draw the shortened text with a character's gap before it.
    const QRect area = messageArea();
    QPainter painter(this);
    painter.fillRect(QRect(area.left(), 0, roomEnd() - area.left(), height()), palette().window());
    painter.setPen(palette().windowText().color());
    painter.drawText(area, Qt::AlignLeading | Qt::AlignVCenter | Qt::TextSingleLine, shown);
}

} // namespace pvelm
