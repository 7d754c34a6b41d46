#include "boardtools/ui/sndshort.h"

#include "boardtools/commandsender.h"
#include "boardtools/ui/longcommandsection.h"
#include "link/link.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace pvelm {

Sndshort::Sndshort(Link &link, QWidget *parent) : ToolWindow(parent), m_link(link)
{
    setObjectName(QStringLiteral("Sndshort"));
    setWindowTitle(QStringLiteral("Short Command Sender"));

    m_shortPacket = new QLineEdit(QString::fromLatin1(kShortCommandTemplate));
    m_shortPacket->setObjectName(QStringLiteral("Text1"));
    m_shortPacket->setAccessibleName(QStringLiteral("Short packet"));
    m_shortPacket->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_shortPacket->setMinimumWidth(m_shortPacket->fontMetrics().horizontalAdvance(QString(14, QLatin1Char('W'))));
    m_send = new QPushButton(QStringLiteral("Send"));
    m_send->setObjectName(QStringLiteral("Command1"));
    m_load = new QPushButton(QStringLiteral("Load"));
    m_load->setObjectName(QStringLiteral("Command2"));

    auto *shortRow = new QHBoxLayout;
    shortRow->addWidget(m_shortPacket);
    shortRow->addWidget(m_send);
    shortRow->addWidget(m_load);
    shortRow->addStretch(1);

    m_section = new LongCommandSection(link, QStringLiteral("X"), this);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(shortRow);
    layout->addWidget(m_section);
    layout->addStretch(1);

    connect(m_send, &QPushButton::clicked, this, &Sndshort::Command1_Click);
    connect(m_load, &QPushButton::clicked, this, &Sndshort::Command2_Click);

    Form_Load();
}

void Sndshort::Form_Load()
{
    m_template = QString::fromLatin1(kShortCommandTemplate);
}

void Sndshort::Command1_Click()
{
    HandlerGuard guard(this);
    // The reply box keeps what it showed until this exchange's outcome
    // replaces it.
    if (!m_section->beginExchange(false))
        return;
    const ShortCommandOutcome out = sendShortCommand(m_link, m_shortPacket->text());
    m_section->endExchange();
    if (!out.ran) {
        m_section->showRefused();
        return;
    }
    // Whatever the link holds, error or not: the reply, the sent text
    // prefixed by "-" after a late reply, or the typed text when the board
    // did not take the handshake.
    QLineEdit *responce = m_section->responce();
    responce->setText(out.responce);
    responce->setCursorPosition(0);
}

void Sndshort::Command2_Click()
{
    m_shortPacket->setText(m_template);
}

} // namespace pvelm
