#include "flash/ui/transferpanel.h"

#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace pvelm {

TransferPanel::TransferPanel(QWidget *parent) : QWidget(parent)
{
    m_bar = new QProgressBar;
    m_bar->setObjectName(QStringLiteral("transferProgress"));
    m_bar->setAccessibleName(QStringLiteral("Pages transferred"));
    m_bar->setFormat(QStringLiteral("%v / %m pages"));
    m_bar->setRange(0, 1);
    m_bar->setValue(0);
    m_bar->setTextVisible(false); // nothing to count before the first operation
    m_timeLeft = new QLabel;
    m_timeLeft->setObjectName(QStringLiteral("timeLeft"));
    m_timeLeft->setAccessibleDescription(QStringLiteral("Time left"));
    m_timeLeft->setTextFormat(Qt::PlainText);
    m_cancel = new QPushButton(QStringLiteral("Cancel"));
    m_cancel->setObjectName(QStringLiteral("cancelTransfer"));
    m_cancel->setEnabled(false);
    m_outcome = new QLabel;
    m_outcome->setObjectName(QStringLiteral("transferOutcome"));
    m_outcome->setAccessibleDescription(QStringLiteral("Last flash operation"));
    m_outcome->setTextFormat(Qt::PlainText);
    m_outcome->setWordWrap(true);
    m_outcome->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_bar, 0, 0);
    layout->addWidget(m_timeLeft, 0, 1);
    layout->addWidget(m_cancel, 0, 2);
    layout->addWidget(m_outcome, 1, 0, 1, 3);
    layout->setColumnStretch(0, 1);

    connect(m_cancel, &QPushButton::clicked, this, &TransferPanel::requestCancel);
}

flash::TransferHooks TransferPanel::begin(flash::TransferHooks extra)
{
    m_cancelRequested = false;
    m_running = true;
    m_bar->setRange(0, 1);
    m_bar->setValue(0);
    m_bar->setTextVisible(true);
    m_timeLeft->clear();
    m_outcome->clear();
    m_cancel->setEnabled(true);

    flash::TransferHooks hooks = std::move(extra);
    auto windowProgress = hooks.progress;
    hooks.progress = [this, windowProgress](const flash::Progress &p) {
        show(p);
        if (windowProgress)
            windowProgress(p);
    };
    hooks.cancelled = [this] { return m_cancelRequested; };
    return hooks;
}

void TransferPanel::show(const flash::Progress &p)
{
    m_bar->setRange(0, std::max(1, p.total));
    m_bar->setValue(p.done);
    const QString left = flash::formatRemaining(p.remainingMs());
    m_timeLeft->setText(left.isEmpty() ? QString() : left + QStringLiteral(" left"));
}

void TransferPanel::end(const QString &outcome)
{
    m_running = false;
    m_cancel->setEnabled(false);
    m_timeLeft->clear();
    m_outcome->setText(outcome);
}

} // namespace pvelm
