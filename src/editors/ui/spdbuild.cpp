#include "editors/ui/spdbuild.h"

#include "editors/exchanges.h"
#include "editors/ui/editorparts.h"
#include "link/link.h"
#include "ui/controls.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

namespace pvelm {

using namespace editors;

namespace {

constexpr int kFirstLocation = 32000;
constexpr int kLastLocation = 32255;

} // namespace

Spdbuild::Spdbuild(Link &link, QWidget *parent) : ToolWindow(parent), m_link(link)
{
    setObjectName(QStringLiteral("Spdbuild"));
    setWindowTitle(QStringLiteral("Speed Editor"));

    auto *servos = new QGridLayout;
    for (int n = 1; n <= 8; ++n) {
        const QString servo = QStringLiteral("Servo %1").arg(n);
        const QByteArray speedName = QStringLiteral("S%1sedat").arg(n).toLatin1();
        const QByteArray controlName = QStringLiteral("S%1con").arg(n).toLatin1();
        auto *speed = textBox(QString::fromLatin1(speedName), QStringLiteral("0"), servo + QStringLiteral(" Speed:"), 3,
                              BoxWidth::Fixed);
        auto *control = textBox(QString::fromLatin1(controlName), QStringLiteral("0"),
                                servo + QStringLiteral(" Contol:"), 3, BoxWidth::Fixed);
        m_speeds << speed;
        m_controls << control;
        auto *frame = new QGroupBox(servo);
        auto *form = new QFormLayout(frame);
        auto *speedLabel = new QLabel(QStringLiteral("Speed:"));
        speedLabel->setBuddy(speed);
        auto *controlLabel = new QLabel(QStringLiteral("Contol:"));
        controlLabel->setBuddy(control);
        form->addRow(speedLabel, speed);
        form->addRow(controlLabel, control);
        servos->addWidget(frame, (n - 1) / 4, (n - 1) % 4);
    }

    LineChooser location = lineChooser(QStringLiteral("Frame4"), QStringLiteral("Speed location (careful)"), "Text2",
                                       kFirstLocation, kLastLocation, 5, kFirstLocation, 5);
    m_location = location.text;
    m_scroll = location.bar;

    m_get = new QPushButton(QStringLiteral("Get"));
    m_get->setObjectName(QStringLiteral("Command2"));
    m_put = new QPushButton(QStringLiteral("Put"));
    m_put->setObjectName(QStringLiteral("Command1"));

    m_packet = packetBox("Text6", QStringLiteral("Packet"));
    auto *packetFrame = new QGroupBox(QStringLiteral("Packet"));
    packetFrame->setObjectName(QStringLiteral("Frame6"));
    (new QVBoxLayout(packetFrame))->addWidget(m_packet);

    auto *side = new QVBoxLayout;
    side->addWidget(location.frame);
    side->addWidget(m_get);
    side->addWidget(m_put);
    side->addStretch(1);
    auto *top = new QHBoxLayout;
    top->addLayout(servos, 1);
    top->addLayout(side);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(packetFrame);

    connect(m_get, &QPushButton::clicked, this, &Spdbuild::Command2_Click);
    connect(m_put, &QPushButton::clicked, this, &Spdbuild::Command1_Click);
}

void Spdbuild::Command2_Click()
{
    HandlerGuard guard(this);
    const Checked location = typedAsHex(QStringLiteral("Speed location"), m_location->text(), 6);
    if (!location.ok()) {
        m_packet->setPlainText(location.refusal);
        return;
    }
    const LinkResult r = exchange(m_link, &Link::rawsender, lineRequest("R1A", location.value));
    if (!r.ran) {
        m_packet->setPlainText(QString::fromLatin1(kExchangeRefusedMessage));
        return;
    }
    // The sixteen fields take what the reply holds at their places, whether
    // the exchange went through or not: after a failure that is the empty
    // reply, and every field empties with it.
    for (int n = 0; n < 8; ++n) {
        m_speeds[n]->setText(r.reply.mid(12 + 3 * n, 3));
        m_controls[n]->setText(r.reply.mid(36 + 3 * n, 3));
    }
    showReply(r.reply, location.note);
}

void Spdbuild::Command1_Click()
{
    HandlerGuard guard(this);
    const Checked location = typedAsHex(QStringLiteral("Speed location"), m_location->text(), 6);
    if (!location.ok()) {
        m_packet->setPlainText(location.refusal);
        return;
    }
    // A character that is not printable ASCII cannot travel as itself.
    QString refusal;
    QStringList speeds;
    QStringList controls;
    for (int n = 0; n < 8; ++n) {
        const QString servo = QStringLiteral("Servo %1 ").arg(n + 1);
        speeds << m_speeds[n]->text();
        controls << m_controls[n]->text();
        if (refusal.isEmpty())
            refusal = refuseSpeedText(servo + QStringLiteral("Speed:"), speeds.last());
        if (refusal.isEmpty())
            refusal = refuseSpeedText(servo + QStringLiteral("Contol:"), controls.last());
    }
    if (!refusal.isEmpty()) {
        m_packet->setPlainText(refusal);
        return;
    }
    const LinkResult r = exchange(m_link, &Link::rawsender, speedPutRequest(location.value, speeds, controls));
    if (!r.ran)
        m_packet->setPlainText(QString::fromLatin1(kExchangeRefusedMessage));
    else if (!r.succeeded())
        showReply(r.status() + QStringLiteral(": the speed element may not have been written"), location.note);
    else
        showReply(r.reply, location.note);
}

void Spdbuild::showReply(const QString &reply, const QString &note)
{
    // The location sent, when it is not the number typed, on a line of its own.
    m_packet->setPlainText(note.isEmpty() ? reply : reply + QLatin1Char('\n') + note);
}

} // namespace pvelm
