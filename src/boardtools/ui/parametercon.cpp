#include "boardtools/ui/parametercon.h"

#include "link/link.h"
#include "ui/controls.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

namespace pvelm {

using namespace boardtools;

namespace {

QLineEdit *numberBox(const char *name, const QString &caption)
{
    return textBox(QString::fromLatin1(name), QStringLiteral("0"), caption, 8);
}

// A "Caption:" label in front of its box, which reads the caption too.
QLabel *buddyLabel(const QString &caption, QWidget *box)
{
    auto *label = new QLabel(caption);
    label->setBuddy(box);
    return label;
}

const QString kWaiting = QString::fromLatin1(kWaitingText);

} // namespace

Parametercon::Parametercon(Link &link, std::optional<ParamBlock> &workingCopy, QWidget *parent)
    : ToolWindow(parent), m_link(link), m_copy(workingCopy)
{
    setObjectName(QStringLiteral("Parametercon"));
    setWindowTitle(QStringLiteral("Board Parameters"));

    m_gparamX = named(new QPushButton(QStringLiteral("Get Parameters")), QStringLiteral("GparamX"));
    m_storeparamX = named(new QPushButton(QStringLiteral("Store Parameters")), QStringLiteral("StoreparamX"));
    m_recon = named(new QPushButton(QStringLiteral("Reload from eeprom")), QStringLiteral("recon"));

    // Notifications: a value label, so its caption is only its description.
    QGroupBox *frame7 = groupBox("Frame7", QStringLiteral("Notifications"));
    m_responce = named(new QLabel, QStringLiteral("responce"));
    m_responce->setAccessibleDescription(QStringLiteral("Notifications"));
    QFont bold = m_responce->font();
    bold.setBold(true);
    m_responce->setFont(bold);
    m_responce->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_responce->setMinimumHeight(m_responce->fontMetrics().height());
    (new QVBoxLayout(frame7))->addWidget(m_responce);

    QGroupBox *frame6 = groupBox("Frame6", QStringLiteral("Info && Packet"));
    m_infoPacket = named(new QLineEdit, QStringLiteral("Responce1"));
    m_infoPacket->setAccessibleName(QStringLiteral("Info & Packet"));
    m_infoPacket->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_infoPacket->setMinimumWidth(m_infoPacket->fontMetrics().horizontalAdvance(QString(66, QLatin1Char('W'))));
    (new QVBoxLayout(frame6))->addWidget(m_infoPacket);

    QGroupBox *frame2 = groupBox("Frame2", QStringLiteral("Pulse Width Limits"));
    m_uselimits = named(new QCheckBox(QStringLiteral("Use limit controls")), QStringLiteral("uselimits"));
    m_minpulse = numberBox("minpulse", QStringLiteral("Minimum:"));
    m_maxpulse = numberBox("maxpulse", QStringLiteral("Maximum:"));
    auto *limits = new QFormLayout(frame2);
    limits->addRow(m_uselimits);
    limits->addRow(buddyLabel(QStringLiteral("Minimum:"), m_minpulse), m_minpulse);
    limits->addRow(buddyLabel(QStringLiteral("Maximum:"), m_maxpulse), m_maxpulse);

    QGroupBox *frame3 = groupBox("Frame3", QStringLiteral("Report Controls"));
    m_reporton = named(new QRadioButton(QStringLiteral("On")), QStringLiteral("reporton"));
    m_reportoff = named(new QRadioButton(QStringLiteral("Off")), QStringLiteral("reportoff"));
    m_reportrate = numberBox("reportrate", QStringLiteral("Report Rate:"));
    auto *reports = new QFormLayout(frame3);
    auto *onOff = new QHBoxLayout;
    onOff->addWidget(m_reporton);
    onOff->addWidget(m_reportoff);
    reports->addRow(onOff);
    reports->addRow(buddyLabel(QStringLiteral("Report Rate:"), m_reportrate), m_reportrate);

    QGroupBox *frame4 = groupBox("Frame4", QStringLiteral("Active Servos"));
    auto *servos = new QGridLayout(frame4);
    for (int k = 0; k < 8; ++k) {
        m_servos1[size_t(k)] =
            named(new QCheckBox(QStringLiteral("Servo%1").arg(k + 1)), QStringLiteral("Servos1(%1)").arg(k));
        servos->addWidget(m_servos1[size_t(k)], k % 4, k / 4);
    }

    QGroupBox *frame5 = groupBox("Frame5", QStringLiteral("Run && Other Controls"));
    m_iocon1 = named(new QCheckBox(QStringLiteral("LCP (I/O 4) is Input")), QStringLiteral("iocon1"));
    m_runonhw = named(new QCheckBox(QStringLiteral("Hardware control")), QStringLiteral("Runonhw"));
    m_runonpb = named(new QCheckBox(QStringLiteral("Push Button control")), QStringLiteral("Runonpb"));
    m_runonpu = named(new QCheckBox(QStringLiteral("Run on Powerup")), QStringLiteral("Runonpu"));
    auto *run = new QVBoxLayout(frame5);
    for (QCheckBox *box : {m_iocon1, m_runonhw, m_runonpb, m_runonpu})
        run->addWidget(box);

    QGroupBox *frame1 = groupBox("Frame1", QStringLiteral("Program && Position Storage"));
    m_modeseperate = named(new QRadioButton(QStringLiteral("Seperate")), QStringLiteral("modeseperate"));
    m_modecommon = named(new QRadioButton(QStringLiteral("Common / Packed")), QStringLiteral("modecommon"));
    m_modeother = named(new QRadioButton(QStringLiteral("Other")), QStringLiteral("modeother"));
    auto *modes = new QVBoxLayout(frame1);
    for (QRadioButton *option : {m_modeseperate, m_modecommon, m_modeother})
        modes->addWidget(option);

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(m_gparamX);
    buttons->addWidget(m_storeparamX);
    buttons->addWidget(m_recon);
    buttons->addStretch(1);

    auto *grid = new QGridLayout;
    grid->addWidget(frame2, 0, 0);
    grid->addWidget(frame3, 0, 1);
    grid->addLayout(buttons, 0, 2);
    grid->addWidget(frame4, 1, 0);
    grid->addWidget(frame5, 1, 1);
    grid->addWidget(frame1, 1, 2);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(frame7);
    layout->addWidget(frame6);

    connect(m_gparamX, &QPushButton::clicked, this, &Parametercon::GparamX_Click);
    connect(m_storeparamX, &QPushButton::clicked, this, &Parametercon::StoreparamX_Click);
    connect(m_recon, &QPushButton::clicked, this, &Parametercon::recon_Click);

    m_storeparamX->setEnabled(false);
    m_recon->setEnabled(false);
    // The read on opening waits for the board: let the window show first.
    QTimer::singleShot(0, this, &Parametercon::Form_Load);
}

Parametercon::ButtonStates Parametercon::buttonStates() const
{
    return {m_gparamX->isEnabled(), m_storeparamX->isEnabled(), m_recon->isEnabled()};
}

void Parametercon::setButtons(ButtonStates states)
{
    m_gparamX->setEnabled(states.get);
    m_storeparamX->setEnabled(states.store);
    m_recon->setEnabled(states.reload);
}

void Parametercon::Form_Load()
{
    m_responce->clear();
    m_infoPacket->clear();
    m_storeparamX->setEnabled(false);
    GparamX_Click();
}

void Parametercon::fill(const ParamFields &f)
{
    m_minpulse->setText(QString::number(f.minPulse));
    m_maxpulse->setText(QString::number(f.maxPulse));
    m_reportrate->setText(QString::number(f.reportRate));
    for (int k = 7; k >= 0; --k)
        m_servos1[size_t(k)]->setChecked((f.servos >> k) & 1);
    m_uselimits->setChecked(f.useLimits);
    (f.reportsOn ? m_reporton : m_reportoff)->setChecked(true);
    switch (modeForBits(f.modeBits)) {
    case StorageMode::Seperate:
        m_modeseperate->setChecked(true);
        break;
    case StorageMode::Common:
        m_modecommon->setChecked(true);
        break;
    default:
        m_modeother->setChecked(true);
        break;
    }
    m_runonhw->setChecked(f.runOnHw);
    m_runonpb->setChecked(f.runOnPb);
    m_runonpu->setChecked(f.runOnPu);
    m_iocon1->setChecked(f.lcpInput);
}

std::optional<LinkResult> Parametercon::runExchange(LinkResult (*exchange)(Link &))
{
    const ButtonStates before = buttonStates();
    setButtons({false, false, false});
    m_responce->setText(kWaiting);
    const LinkResult r = exchange(m_link);
    if (r.ran)
        return r;
    setButtons(before);
    m_responce->setText(QString::fromLatin1(kExchangeRefusedMessage));
    return std::nullopt;
}

void Parametercon::GparamX_Click()
{
    HandlerGuard guard(this);
    const std::optional<LinkResult> done = runExchange(readParameters);
    if (!done)
        return;
    const LinkResult &r = *done;
    m_infoPacket->setText(r.reply);
    m_infoPacket->setCursorPosition(0);
    if (r.succeeded()) {
        m_copy = blockFromReply(r.reply);
        fill(m_copy->fields());
    }
    m_responce->setText(r.status());
    setButtons({true, r.succeeded(), r.succeeded()});
}

StoreInput Parametercon::storeInput() const
{
    StoreInput in;
    in.minpulse = m_minpulse->text();
    in.maxpulse = m_maxpulse->text();
    in.reportrate = m_reportrate->text();
    for (int k = 0; k < 8; ++k) {
        if (m_servos1[size_t(k)]->isChecked())
            in.servos |= quint8(1u << k);
    }
    in.useLimits = m_uselimits->isChecked();
    in.reportsOn = m_reporton->isChecked();
    in.mode = m_modeseperate->isChecked() ? StorageMode::Seperate
              : m_modecommon->isChecked() ? StorageMode::Common
              : m_modeother->isChecked()  ? StorageMode::Other
                                          : StorageMode::None;
    in.runOnHw = m_runonhw->isChecked();
    in.runOnPb = m_runonpb->isChecked();
    in.runOnPu = m_runonpu->isChecked();
    in.lcpInput = m_iocon1->isChecked();
    return in;
}

void Parametercon::StoreparamX_Click()
{
    HandlerGuard guard(this);
    const ButtonStates before = buttonStates();
    const QString lastReply = m_infoPacket->text();
    setButtons({false, false, false});
    m_infoPacket->setText(kWaiting);
    if (!m_copy) {
        m_infoPacket->setText(QString::fromLatin1(kNoWorkingCopyText));
        setButtons(before);
        return;
    }
    if (!applyStore(*m_copy, storeInput()).isEmpty()) {
        // A number box beyond 32 bits: nothing is sent.
        m_infoPacket->setText(lastReply);
        setButtons(before);
        return;
    }
    const LinkResult r = writeParameters(m_link, *m_copy);
    if (!r.ran) {
        m_infoPacket->setText(QString::fromLatin1(kExchangeRefusedMessage));
        setButtons(before);
        return;
    }
    m_infoPacket->setText(r.succeeded() ? r.reply : QString::fromLatin1(kStoreFailedText));
    m_infoPacket->setCursorPosition(0);
    setButtons({true, r.succeeded(), r.succeeded()});
}

void Parametercon::recon_Click()
{
    HandlerGuard guard(this);
    const std::optional<LinkResult> done = runExchange(reloadParameters);
    if (!done)
        return;
    const LinkResult &r = *done;
    m_infoPacket->setText(r.reply);
    m_infoPacket->setCursorPosition(0);
    m_responce->setText(r.status());
    setButtons({true, r.succeeded(), true});
}

} // namespace pvelm
