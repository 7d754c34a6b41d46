#pragma once

#include "ui/toolwindow.h"

namespace pvelm {

class Link;
class LongCommandSection;

// "Long Command Sender": a long command with a free code and address, and
// the firmware version request.
class Sendinst : public ToolWindow
{
    Q_OBJECT

public:
    Sendinst(Link &link, QWidget *parent);

    LongCommandSection *section() const { return m_section; }

private:
    LongCommandSection *m_section;
};

} // namespace pvelm
