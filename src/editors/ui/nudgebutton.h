#pragma once

#include <QPushButton>

namespace pvelm::editors {

// A button that tells when it is held down and when it is let go. Any mouse
// button or the Space key holds it; it is let go when that mouse button or
// key comes up, wherever the pointer is then, and when the button loses the
// keyboard focus. A handler connected to heldDown() may run for as long as
// the button is held: the release arrives while that handler pumps events.
class NudgeButton : public QPushButton
{
    Q_OBJECT

public:
    using QPushButton::QPushButton;

    bool isHeld() const { return m_held; }

signals:
    void heldDown();
    void letGo();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void hold();
    void release();

    bool m_held = false;
};

} // namespace pvelm::editors
