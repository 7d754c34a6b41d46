#pragma once

#include "ui/toolwindow.h"

class QLineEdit;
class QPushButton;

namespace pvelm {

class Link;
class LongCommandSection;

// "Short Command Sender": a 9-character short packet typed by the operator,
// plus the same long command section as the long sender.
class Sndshort : public ToolWindow
{
    Q_OBJECT

public:
    Sndshort(Link &link, QWidget *parent);

    void Form_Load();
    void Command1_Click();
    void Command2_Click();

    LongCommandSection *section() const { return m_section; }

private:
    Link &m_link;
    LongCommandSection *m_section;
    QLineEdit *m_shortPacket;
    QPushButton *m_send;
    QPushButton *m_load;
    QString m_template;
};

} // namespace pvelm
