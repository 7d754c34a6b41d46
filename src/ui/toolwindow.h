#pragma once

#include <QPointer>
#include <QWidget>

namespace pvelm {

// Base of every window the main window opens from its menus.
//
// Such a window is a child of the main window with the Qt::Window flag, so it
// never outlives it. Closing it hides it and deletes it later. The delay
// matters: an exchange pumps events while it waits, so the operator (or the
// main window shutting down) can close the window while one of its own click
// handlers is still on the stack, waiting. Each handler that may wait holds a
// HandlerGuard for its duration; a window closed under a guard stays alive,
// hidden, until the last guard is released, and only then is deleted.
class ToolWindow : public QWidget
{
    Q_OBJECT

public:
    explicit ToolWindow(QWidget *parent);

    // True once the window was closed; it is hidden and waits for deletion,
    // and the menu opens a fresh window instead of showing this one again.
    bool isFinished() const { return m_finished; }
    // Number of handlers of this window currently on the stack.
    int activeHandlers() const { return m_activeHandlers; }

    // Held by a handler while it runs. Given any widget, it guards the tool
    // window that contains it (no-op for widgets outside a tool window).
    class HandlerGuard
    {
    public:
        explicit HandlerGuard(QWidget *inside);
        ~HandlerGuard();
        HandlerGuard(const HandlerGuard &) = delete;
        HandlerGuard &operator=(const HandlerGuard &) = delete;

    private:
        QPointer<ToolWindow> m_window;
    };

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void release();

    int m_activeHandlers = 0;
    bool m_finished = false;
};

// The one instance of a tool window: shows the open window, or makes a new
// one when there is none or the old one was closed.
template <typename Window> class WindowSlot
{
public:
    template <typename Factory> Window *show(Factory &&make)
    {
        if (!m_window || m_window->isFinished())
            m_window = make();
        m_window->show();
        m_window->raise();
        m_window->activateWindow();
        return m_window;
    }

    // The live window, or nullptr when none is open.
    Window *window() const { return m_window && !m_window->isFinished() ? m_window.data() : nullptr; }

private:
    QPointer<Window> m_window;
};

} // namespace pvelm
