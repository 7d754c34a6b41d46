#include "ui/toolwindow.h"

#include <QCloseEvent>

namespace pvelm {

ToolWindow::ToolWindow(QWidget *parent) : QWidget(parent, Qt::Window) {}

void ToolWindow::closeEvent(QCloseEvent *event)
{
    event->accept();
    m_finished = true;
    if (m_activeHandlers == 0)
        deleteLater();
    // Otherwise the last HandlerGuard deletes it when its handler returns.
}

void ToolWindow::release()
{
    if (--m_activeHandlers == 0 && m_finished)
        deleteLater();
}

ToolWindow::HandlerGuard::HandlerGuard(QWidget *inside)
    : m_window(inside ? qobject_cast<ToolWindow *>(inside->window()) : nullptr)
{
    if (m_window)
        ++m_window->m_activeHandlers;
}

ToolWindow::HandlerGuard::~HandlerGuard()
{
    if (m_window)
        m_window->release();
}

} // namespace pvelm
