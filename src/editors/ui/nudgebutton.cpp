#include "editors/ui/nudgebutton.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace pvelm::editors {

void NudgeButton::hold()
{
    if (m_held)
        return;
    m_held = true;
    setDown(true);
    emit heldDown();
}

void NudgeButton::release()
{
    if (!m_held)
        return;
    m_held = false;
    setDown(false);
    emit letGo();
}

void NudgeButton::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    hold();
}

void NudgeButton::mouseReleaseEvent(QMouseEvent *event)
{
    // Qt sends the release to the button that took the press, wherever the
    // pointer is by then.
    event->accept();
    release();
}

void NudgeButton::mouseMoveEvent(QMouseEvent *event)
{
    // Leaving the button while holding it keeps the nudge going; only the
    // release ends it.
    event->accept();
}

void NudgeButton::keyPressEvent(QKeyEvent *event)
{
    if (event->key() != Qt::Key_Space) {
        QPushButton::keyPressEvent(event);
        return;
    }
    event->accept();
    if (!event->isAutoRepeat())
        hold();
}

void NudgeButton::keyReleaseEvent(QKeyEvent *event)
{
    if (event->key() != Qt::Key_Space) {
        QPushButton::keyReleaseEvent(event);
        return;
    }
    event->accept();
    if (!event->isAutoRepeat())
        release();
}

void NudgeButton::focusOutEvent(QFocusEvent *event)
{
    release();
    QPushButton::focusOutEvent(event);
}

} // namespace pvelm::editors
