#include "editors/ui/positionbuilder.h"

#include "editors/ui/editorparts.h"
#include "editors/ui/nudgebutton.h"
#include "link/link.h"
#include "ui/controls.h"

#include <QCheckBox>
#include <QEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

namespace pvelm {

using namespace editors;

namespace {

constexpr char kLabel2Text[] = "To prevent the \"Get Current\" function from writing over 65,535 (no move) values, do "
                               "not click the \"Use\" check box for servos that are not to be used with the current "
                               "active position.";
constexpr char kNoMove[] = "65535";
constexpr int kFirstLine = 10000;

struct NudgeKind
{
    NudgeFamily family;
    const char *name;
    const char *caption;
    const char *description;
    bool big;
};
constexpr NudgeKind kNudges[] = {
    {NudgeFamily::PosUp, "posup", "+", "small step up", false},
    {NudgeFamily::PosDown, "posdown", "-", "small step down", false},
    {NudgeFamily::BigUp, "bigup", "+", "large step up", true},
    {NudgeFamily::BigDown, "bigdn", "-", "large step down", true},
};

} // namespace

positionbuilder::positionbuilder(Link &link, QWidget *parent) : ToolWindow(parent), m_link(link), m_nudge(link)
{
    setObjectName(QStringLiteral("positionbuilder"));
    setWindowTitle(QStringLiteral("Position Manager"));

    auto *servos = new QGridLayout;
    for (int k = 0; k < 8; ++k) {
        // The third frame's caption has no blank: "Servo3".
        const QString caption = k == 2 ? QStringLiteral("Servo3") : QStringLiteral("Servo %1").arg(k + 1);
        const QString servo = QStringLiteral("Servo %1").arg(k + 1);
        const QByteArray boxName =
            (k == 2 ? QStringLiteral("s3edat") : QStringLiteral("S%1edat").arg(k + 1)).toLatin1();
        auto *frame = new QGroupBox(caption);
        frame->setObjectName(QStringLiteral("Frame1(%1)").arg(k));
        auto *box = textBox(QString::fromLatin1(boxName), QStringLiteral("0"), caption, 5, BoxWidth::Fixed);
        m_positions << box;
        auto *use = new QCheckBox(QStringLiteral("Use"));
        use->setObjectName(QStringLiteral("Use1(%1)").arg(k));
        use->setAccessibleName(servo + QStringLiteral(" Use"));
        if (k == 0)
            use->setToolTip(QStringLiteral("If active get Current will write value"));
        m_use << use;

        auto *nudges = new QGridLayout;
        for (int n = 0; n < 4; ++n) {
            const NudgeKind &kind = kNudges[n];
            auto *b = new NudgeButton(QString::fromLatin1(kind.caption));
            b->setObjectName(QStringLiteral("%1(%2)").arg(QLatin1String(kind.name)).arg(k));
            // Sixteen buttons read "+" or "-": the servo and the step tell them apart.
            b->setAccessibleName(servo + QLatin1Char(' ') + QLatin1String(kind.caption) +
                                 (kind.big ? QStringLiteral(" large") : QString()));
            b->setAccessibleDescription(servo + QLatin1Char(' ') + QLatin1String(kind.description));
            if (kind.big) {
                QFont f = b->font();
                f.setPointSizeF(f.pointSizeF() * 1.5);
                f.setBold(true);
                b->setFont(f);
            }
            b->setMaximumWidth(40);
            const NudgeFamily family = kind.family;
            connect(b, &NudgeButton::heldDown, this, [this, family, k] { nudge_MouseDown(family, k); });
            connect(b, &NudgeButton::letGo, this, [this, family] { nudge_MouseUp(family); });
            nudges->addWidget(b, n / 2, n % 2);
        }
        auto *layout = new QVBoxLayout(frame);
        layout->addWidget(box);
        layout->addWidget(use);
        layout->addLayout(nudges);
        servos->addWidget(frame, k / 4, k % 4);
    }

    auto *live = groupBox("Frame11", QStringLiteral("Live Movements"));
    auto *getcur = button("getcur", QStringLiteral("Get Current"));
    auto *moveto = button("moveto", QStringLiteral("Move to position"));
    auto *bump = button("Bumpmove", QStringLiteral("Bump && move"));
    auto *dec = button("decmove", QStringLiteral("Dec && move"));
    auto *liveLayout = new QVBoxLayout(live);
    for (QPushButton *b : {getcur, moveto, bump, dec})
        liveLayout->addWidget(b);

    LineChooser line = lineChooser(QStringLiteral("Frame4"), QStringLiteral("Position Memory"), "Text2", 0,
                                   kScrollLineMaximum, 100, kFirstLine, 6);
    m_line = line.text;
    m_scroll = line.bar;
    QFont big = m_line->font();
    big.setPointSize(12);
    m_line->setFont(big);
    m_line->setFixedWidth(boxWidth(m_line, 7));
    auto *put = button("Command1", QStringLiteral("Put"));
    auto *get = button("Command2", QStringLiteral("Get"));
    auto *memoryButtons = new QVBoxLayout;
    memoryButtons->addWidget(put);
    memoryButtons->addWidget(get);
    static_cast<QHBoxLayout *>(line.frame->layout())->addLayout(memoryButtons);

    auto *outputs = groupBox("Frame12", QStringLiteral("Output control"));
    auto *outLabel = new QLabel(QStringLiteral("Output#:"));
    m_outnumber = textBox(QStringLiteral("Outnumber"), QStringLiteral("0"), outLabel->text(), 3, BoxWidth::Fixed);
    outLabel->setBuddy(m_outnumber);
    auto *on = button("oncon", QStringLiteral("On"));
    auto *off = button("offcon", QStringLiteral("Off"));
    auto *outLayout = new QHBoxLayout(outputs);
    outLayout->addWidget(outLabel);
    outLayout->addWidget(m_outnumber);
    outLayout->addWidget(on);
    outLayout->addWidget(off);

    m_responce = new QLineEdit;
    m_responce->setObjectName(QStringLiteral("responce"));
    m_responce->setAccessibleName(QStringLiteral("Packet"));
    m_responce->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_responce->setMinimumWidth(m_responce->fontMetrics().horizontalAdvance(QString(66, QLatin1Char('W'))));
    auto *packet = groupBox("Frame6", QStringLiteral("Packet"));
    (new QVBoxLayout(packet))->addWidget(m_responce);

    auto *note = new QLabel(QString::fromLatin1(kLabel2Text));
    note->setObjectName(QStringLiteral("Label2"));
    note->setWordWrap(true);

    auto *controls = new QHBoxLayout;
    controls->addWidget(live);
    controls->addWidget(line.frame);
    controls->addWidget(outputs);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(servos);
    layout->addWidget(note);
    layout->addLayout(controls);
    layout->addWidget(packet);

    connect(getcur, &QPushButton::clicked, this, &positionbuilder::getcur_Click);
    connect(moveto, &QPushButton::clicked, this, &positionbuilder::moveto_Click);
    connect(bump, &QPushButton::clicked, this, &positionbuilder::Bumpmove_Click);
    connect(dec, &QPushButton::clicked, this, &positionbuilder::decmove_Click);
    connect(put, &QPushButton::clicked, this, &positionbuilder::Command1_Click);
    connect(get, &QPushButton::clicked, this, &positionbuilder::Command2_Click);
    connect(on, &QPushButton::clicked, this, &positionbuilder::oncon_Click);
    connect(off, &QPushButton::clicked, this, &positionbuilder::offcon_Click);

    Form_Load();
}

positionbuilder::~positionbuilder()
{
    // The base class hides the window on its way out, which takes the focus
    // from a nudge button still held: its let-go must not reach this half
    // destroyed window.
    for (auto *b : findChildren<NudgeButton *>())
        b->disconnect(this);
}

std::bitset<8> positionbuilder::usedServos() const
{
    std::bitset<8> used;
    for (int k = 0; k < 8; ++k)
        used.set(size_t(k), m_use[k]->isChecked());
    return used;
}

void positionbuilder::Form_Load()
{
    for (QLineEdit *box : m_positions)
        box->setText(QString::fromLatin1(kNoMove));
    m_scroll->setValue(kFirstLine);
}

void positionbuilder::hideEvent(QHideEvent *event)
{
    // A window closed (or hidden) while a nudge is held never sees the
    // release: stop the loop here.
    m_nudge.releaseAll();
    ToolWindow::hideEvent(event);
}

void positionbuilder::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && !isActiveWindow())
        m_nudge.releaseAll();
    ToolWindow::changeEvent(event);
}

void positionbuilder::say(const QString &text)
{
    // What another button says while a nudge is held (a refusal, most
    // likely) stays in view until the nudge ends, rather than being written
    // over by the next nudge packet at once.
    m_keepNotice = m_nudge.isRunning();
    showText(text);
}

void positionbuilder::showText(const QString &text)
{
    m_responce->setText(text);
    m_responce->setCursorPosition(0);
}

void positionbuilder::showFailure(const LinkResult &r, const QString &what)
{
    if (!r.ran)
        say(QString::fromLatin1(kExchangeRefusedMessage));
    else
        say(r.status() + QStringLiteral(": ") + what);
}

bool positionbuilder::checkedLine(qint64 *line, QString *note)
{
    const Checked c = typedAsHex(QStringLiteral("Line"), m_line->text(), 6);
    if (!c.ok()) {
        say(c.refusal);
        return false;
    }
    *line = c.value;
    *note = c.note;
    return true;
}

void positionbuilder::addNote(const QString &note)
{
    // What was sent, when it is not the number typed, after what the action
    // showed.
    if (note.isEmpty())
        return;
    const QString shown = m_responce->text();
    say(shown.isEmpty() ? note : shown + QStringLiteral("  ") + note);
}

QStringList positionbuilder::positions() const
{
    QStringList out;
    for (QLineEdit *box : m_positions)
        out << box->text();
    return out;
}

void positionbuilder::nudge_MouseDown(NudgeFamily family, int k)
{
    HandlerGuard guard(this);
    m_keepNotice = false;
    const bool ran = m_nudge.run(
        family, k,
        [this](const QString &packet) {
            if (!m_keepNotice)
                showText(packet);
        },
        [this](const NudgeLoop::Step &step) {
            if (step.result.portFailed()) {
                // The loop ends here whether or not the button is still held.
                showText(step.result.status() + QStringLiteral(": the nudge stopped"));
            } else if (!step.reply) {
                if (!m_keepNotice)
                    showText(QStringLiteral("Error"));
            } else if (step.reply->servoIndex >= 0)
                m_positions[step.reply->servoIndex]->setText(QString::number(step.reply->position));
        });
    if (!ran)
        say(QString::fromLatin1(kExchangeRefusedMessage));
}

void positionbuilder::nudge_MouseUp(NudgeFamily family)
{
    m_nudge.release(family);
}

void positionbuilder::getcur_Click()
{
    HandlerGuard guard(this);
    qint64 line = 0;
    QString note;
    if (!checkedLine(&line, &note))
        return;
    const QString request = lineRequest("R01", line);
    say(request);
    const LinkResult r = exchange(m_link, &Link::rawsender, request);
    const std::optional<QList<int>> current = r.succeeded() ? currentFromReply(r.reply) : std::nullopt;
    if (!current) {
        showFailure(r, QStringLiteral("no positions read; the boxes were not changed"));
    } else {
        for (int k = 0; k < 8; ++k) {
            if (m_use[k]->isChecked())
                m_positions[k]->setText(QString::number(current->at(k)));
        }
    }
    addNote(note);
}

void positionbuilder::Command1_Click()
{
    HandlerGuard guard(this);
    qint64 line = 0;
    QString note;
    if (!checkedLine(&line, &note))
        return;
    // The boxes' texts go out as they stand, each its last five characters.
    const LinkResult r = exchange(m_link, &Link::rawsender, positionPutRequest(line, positions()));
    if (r.succeeded())
        say(r.reply);
    else
        showFailure(r, QStringLiteral("the set may not have been written"));
    addNote(note);
}

void positionbuilder::Command2_Click()
{
    HandlerGuard guard(this);
    qint64 line = 0;
    QString note;
    if (!checkedLine(&line, &note))
        return;
    const QString request = lineRequest("R18", line);
    say(request);
    const LinkResult r = exchange(m_link, &Link::rawsender, request);
    const std::optional<QStringList> set = r.succeeded() ? storedFromReply(r.reply) : std::nullopt;
    if (!set) {
        showFailure(r, QStringLiteral("no set read; the boxes were not changed"));
    } else {
        for (int k = 0; k < 8; ++k)
            m_positions[k]->setText(set->at(k));
    }
    addNote(note);
}

void positionbuilder::getThenMove(qint64 line, qint64 moveLine, int stepTo)
{
    say(lineRequest("R18", line));
    // The move goes out whatever the Get brought; only a set that arrived
    // fills the boxes.
    const MoveOutcome out = editors::getThenMove(m_link, line, moveLine, true);
    if (!out.get.ran) {
        showFailure(out.get, QString());
        return;
    }
    if (out.set) {
        for (int k = 0; k < 8; ++k)
            m_positions[k]->setText(out.set->at(k));
    } else {
        showFailure(out.get, QStringLiteral("no set read; the boxes were not changed"));
    }
    if (stepTo >= 0)
        m_scroll->setValue(stepTo);
    if (!out.move.succeeded())
        showFailure(out.move, QStringLiteral("the move was not confirmed"));
}

void positionbuilder::moveto_Click()
{
    HandlerGuard guard(this);
    qint64 line = 0;
    QString note;
    if (checkedLine(&line, &note)) {
        getThenMove(line, line, -1);
        addNote(note);
    }
}

void positionbuilder::stepAndMove(int delta)
{
    HandlerGuard guard(this);
    qint64 line = 0;
    QString note;
    if (!checkedLine(&line, &note))
        return;
    // The step starts from the scroll bar, not from a line typed.
    const int next = m_scroll->value() + delta;
    if (next < m_scroll->minimum() || next > m_scroll->maximum()) {
        say(QStringLiteral("%1: the line stays within %2 to %3; nothing sent")
                .arg(delta > 0 ? QStringLiteral("Bump & move") : QStringLiteral("Dec & move"))
                .arg(m_scroll->minimum())
                .arg(m_scroll->maximum()));
        return;
    }
    getThenMove(line, next, next);
    addNote(note);
}

void positionbuilder::Bumpmove_Click()
{
    stepAndMove(+1);
}

void positionbuilder::decmove_Click()
{
    stepAndMove(-1);
}

void positionbuilder::output(bool on)
{
    HandlerGuard guard(this);
    const Checked number = typedAsHex(QStringLiteral("Output"), m_outnumber->text(), 2);
    if (!number.ok()) {
        say(number.refusal);
        return;
    }
    const LinkResult r = exchange(m_link, &Link::smallcomax, outputPacket(number.value, on));
    // Nothing is shown for an output that went through, but what was sent
    // when it is not the number typed.
    if (!r.succeeded()) {
        showFailure(r, QStringLiteral("the output was not confirmed"));
        addNote(number.note);
    } else if (!number.note.isEmpty()) {
        say(number.note);
    }
}

void positionbuilder::oncon_Click()
{
    output(true);
}

void positionbuilder::offcon_Click()
{
    output(false);
}

} // namespace pvelm
