#include "boardtools/ui/sendinst.h"

#include "boardtools/ui/longcommandsection.h"

#include <QVBoxLayout>

namespace pvelm {

Sendinst::Sendinst(Link &link, QWidget *parent) : ToolWindow(parent)
{
    setObjectName(QStringLiteral("Sendinst"));
    setWindowTitle(QStringLiteral("Long Command Sender"));
    m_section = new LongCommandSection(link, QStringLiteral("R02"), this);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_section);
    layout->addStretch(1);
}

} // namespace pvelm
