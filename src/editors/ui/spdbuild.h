#pragma once

#include "ui/toolwindow.h"

#include <QList>

class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QScrollBar;

namespace pvelm {

class Link;

// "Speed Editor": one speed element, a speed and a control value for each
// servo, each carried as three characters the board interprets.
class Spdbuild : public ToolWindow
{
    Q_OBJECT

public:
    Spdbuild(Link &link, QWidget *parent);

    void Command2_Click(); // Get
    void Command1_Click(); // Put

private:
    void showReply(const QString &reply, const QString &note);

    Link &m_link;
    QList<QLineEdit *> m_speeds;   // S1sedat .. S8sedat
    QList<QLineEdit *> m_controls; // S1con .. S8con
    QLineEdit *m_location;
    QScrollBar *m_scroll;
    QPushButton *m_get;
    QPushButton *m_put;
    QPlainTextEdit *m_packet;
};

} // namespace pvelm
