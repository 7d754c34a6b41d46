#include "boardtools/ui/longcommandsection.h"

#include "boardtools/commandsender.h"
#include "link/link.h"
#include "ui/controls.h"
#include "ui/toolwindow.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace pvelm {

LongCommandSection::LongCommandSection(Link &link, const QString &defaultCommand, QWidget *parent)
    : QWidget(parent), m_link(link)
{
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);

    m_cmddat = new QLineEdit(defaultCommand);
    m_cmddat->setObjectName(QStringLiteral("cmddat"));
    m_cmddat->setAccessibleName(QStringLiteral("Command"));
    m_cmddat->setFont(fixed);
    m_cmddat->setMaximumWidth(boxWidth(m_cmddat, 6, QLatin1Char('W')));

    m_optdata = new QLabel(QStringLiteral("Optional Data:"));
    m_optdata->setObjectName(QStringLiteral("optdata"));
    m_data5bytes = new QLineEdit(QStringLiteral("00000"));
    m_data5bytes->setObjectName(QStringLiteral("data5bytes"));
    m_data5bytes->setAccessibleName(m_optdata->text());
    m_data5bytes->setFont(fixed);
    m_data5bytes->setMaximumWidth(boxWidth(m_data5bytes, 8));
    m_optdata->setBuddy(m_data5bytes);

    m_sendit = new QPushButton(QStringLiteral("Send "));
    m_sendit->setObjectName(QStringLiteral("sendit"));
    m_version = new QPushButton(QStringLiteral("Request Version"));
    m_version->setObjectName(QStringLiteral("Version"));

    m_inver = new QLabel(QStringLiteral("N A"));
    m_inver->setObjectName(QStringLiteral("inver"));
    // A value: the caption describes it, so a screen reader reads the version.
    m_inver->setAccessibleDescription(QStringLiteral("S/W Version"));
    m_inver->setFont(fixed);
    m_inver->setMinimumWidth(m_inver->fontMetrics().horizontalAdvance(QString(13, QLatin1Char('W'))));
    m_inver->setTextInteractionFlags(Qt::TextSelectableByMouse);

    // The reply is a whole 64-character packet: a fixed font keeps its
    // columns where the operator counts them.
    m_responce = new QLineEdit;
    m_responce->setObjectName(QStringLiteral("responce"));
    m_responce->setAccessibleName(QStringLiteral("Reply"));
    m_responce->setFont(fixed);
    m_responce->setMinimumWidth(m_responce->fontMetrics().horizontalAdvance(QString(66, QLatin1Char('W'))));

    m_working = new QLabel;
    m_working->setObjectName(QStringLiteral("working"));
    m_working->setAccessibleDescription(QStringLiteral("Exchange state"));
    QFont bold = m_working->font();
    bold.setBold(true);
    m_working->setFont(bold);
    // Keep the row's height when the label is empty.
    m_working->setMinimumHeight(m_working->fontMetrics().height());

    auto *address = new QWidget;
    auto *addressLayout = new QHBoxLayout(address);
    // Line the box up with the boxes inside the neighbouring frames.
    addressLayout->setContentsMargins(0, 0, 0, style()->pixelMetric(QStyle::PM_LayoutBottomMargin) + 1);
    addressLayout->addWidget(m_optdata);
    addressLayout->addWidget(m_data5bytes);

    auto *top = new QHBoxLayout;
    top->addWidget(frame(QStringLiteral("Command"), m_cmddat));
    top->addWidget(address, 0, Qt::AlignBottom);
    top->addWidget(frame(QStringLiteral("Send Command"), m_sendit));
    top->addWidget(frame(QStringLiteral("Version"), m_version));
    top->addWidget(frame(QStringLiteral("S/W Version"), m_inver), 1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(top);
    layout->addWidget(m_responce);
    layout->addWidget(m_working);

    connect(m_sendit, &QPushButton::clicked, this, &LongCommandSection::sendit_Click);
    connect(m_version, &QPushButton::clicked, this, &LongCommandSection::Version_Click);
}

void LongCommandSection::showRefused()
{
    m_responce->setText(QString::fromLatin1(kExchangeRefusedMessage));
}

bool LongCommandSection::beginExchange(bool clearReply)
{
    // The sender buttons stay enabled while an exchange waits, so a second
    // click can arrive; it must not start a second exchange on the link.
    if (m_link.isBusy()) {
        showRefused();
        return false;
    }
    m_working->setText(QString::fromLatin1(kWaitingText));
    if (clearReply)
        m_responce->clear();
    return true;
}

void LongCommandSection::endExchange()
{
    m_working->clear();
}

void LongCommandSection::showOutcome(bool ran, const QString &inver, const QString &responce)
{
    endExchange();
    if (!ran) {
        showRefused();
        return;
    }
    m_inver->setText(inver);
    m_responce->setText(responce);
    m_responce->setCursorPosition(0);
}

void LongCommandSection::sendit_Click()
{
    ToolWindow::HandlerGuard guard(this);
    if (!beginExchange())
        return;
    const LongCommandOutcome out = sendLongCommand(m_link, m_cmddat->text(), m_data5bytes->text());
    showOutcome(out.ran, out.inver, out.responce);
}

void LongCommandSection::Version_Click()
{
    ToolWindow::HandlerGuard guard(this);
    if (!beginExchange())
        return;
    const LongCommandOutcome out = requestVersion(m_link, m_data5bytes->text());
    showOutcome(out.ran, out.inver, out.responce);
}

} // namespace pvelm
