#include "sim/ui/simboard.h"

#include "settings/safesave.h"
#include "sim/ui/motionplot.h"
#include "ui/controls.h"
#include "ui/messages.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QBuffer>
#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

namespace pvelm {

using sim::BoardState;
using sim::Fault;
using sim::SwitchKind;

// One output of the board: a round lamp, lit while the output is on. A
// screen reader reads its name ("Output 7") and its value ("on", "off").
class Lamp : public QWidget
{
    Q_OBJECT

public:
    explicit Lamp(int output)
    {
        setObjectName(QStringLiteral("output%1").arg(output));
        setAccessibleName(QStringLiteral("Output %1").arg(output));
        setToolTip(accessibleName());
        setFixedSize(14, 14);
    }

    bool isOn() const { return m_on; }
    void setOn(bool on)
    {
        if (on == m_on)
            return;
        m_on = on;
        update();
        if (QAccessible::isActive()) {
            QAccessibleValueChangeEvent event(this, valueText());
            QAccessible::updateAccessibility(&event);
        }
    }
    QString valueText() const { return m_on ? QStringLiteral("on") : QStringLiteral("off"); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QColor(0x55, 0x55, 0x55));
        painter.setBrush(m_on ? QColor(0xff, 0xc0, 0x00) : QColor(0x40, 0x40, 0x40));
        painter.drawEllipse(QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5));
    }

private:
    bool m_on = false;
};

namespace {

class LampAccessible : public QAccessibleWidget
{
public:
    explicit LampAccessible(Lamp *lamp) : QAccessibleWidget(lamp, QAccessible::Indicator) {}
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return static_cast<const Lamp *>(widget())->valueText();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface *lampAccessible(const QString &key, QObject *object)
{
    if (key == QLatin1String("pvelm::Lamp") && object && object->isWidgetType())
        return new LampAccessible(static_cast<Lamp *>(object));
    return nullptr;
}

constexpr int kIoColumns = 16;
// How long a ticked input box keeps its tick while the board has not yet
// taken the change (it normally does within a millisecond).
constexpr qint64 kInputHoldMs = 250;
const char *const kAxes[3] = {"X", "Y", "Z"};

struct FaultToggle
{
    Fault fault;
    const char *name;
    const char *caption;
};
const FaultToggle kFaults[6] = {
    {Fault::NoAnswer, "faultNoAnswer", "No answer"},    {Fault::WrongAnswer, "faultWrongAnswer", "Wrong answer"},
    {Fault::LateReply, "faultLateReply", "Late reply"}, {Fault::ShortReply, "faultShortReply", "Short reply"},
    {Fault::Garbage, "faultGarbage", "Garbage"},        {Fault::HangUp, "faultHangUp", "Hang up"},
};

// Sets a box from the board without it counting as the operator's click.
void showChecked(QCheckBox *box, bool on)
{
    if (box->isChecked() == on)
        return;
    const QSignalBlocker block(box);
    box->setChecked(on);
}

QString programText(const sim::BoardSnapshot &s)
{
    switch (s.runMode) {
    case sim::RunMode::Running:
        return QStringLiteral("Running at line %1").arg(s.runLine);
    case sim::RunMode::Paused:
        return QStringLiteral("Paused at line %1").arg(s.runLine);
    case sim::RunMode::Stopped:
        break;
    }
    return QStringLiteral("Stopped");
}

} // namespace

Simboard::Simboard(sim::VirtualBoard &board, QWidget *parent) : ToolWindow(parent), m_board(board)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(lampAccessible);
        return true;
    }();
    Q_UNUSED(factoryInstalled);

    setObjectName(QStringLiteral("Simboard"));
    setWindowTitle(QStringLiteral("Virtual Board"));

    auto *left = new QVBoxLayout;
    left->addWidget(buildServos());
    left->addWidget(buildBoard(), 1);
    auto *top = new QHBoxLayout;
    top->addLayout(left);
    top->addWidget(buildInputsOutputs());
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buildPlot(), 1);

    m_askPath = [this](const QString &caption, const QString &filter, bool save) {
        return save ? QFileDialog::getSaveFileName(this, caption, QString(), filter)
                    : QFileDialog::getOpenFileName(this, caption, QString(), filter);
    };

    m_clock.start();
    m_frames = new QTimer(this);
    m_frames->setInterval(FrameMs);
    connect(m_frames, &QTimer::timeout, this, &Simboard::refresh);
    refresh();
}

void Simboard::showEvent(QShowEvent *event)
{
    ToolWindow::showEvent(event);
    m_frames->start();
}

void Simboard::hideEvent(QHideEvent *event)
{
    ToolWindow::hideEvent(event);
    m_frames->stop();
}

QWidget *Simboard::buildServos()
{
    auto *box = groupBox("servos", QStringLiteral("Servos"));
    auto *grid = new QGridLayout(box);
    grid->addWidget(new QLabel(QStringLiteral("Home")), 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("Limit")), 0, 3);
    for (int servo = 0; servo < BoardState::ServoCount; ++servo) {
        const QString name = QStringLiteral("Servo %1").arg(servo + 1);
        auto *label = new QLabel(name);
        auto *gauge = named(new QProgressBar, QStringLiteral("servo%1").arg(servo + 1));
        gauge->setAccessibleName(name);
        gauge->setRange(0, 65535);
        gauge->setFormat(QStringLiteral("%v"));
        gauge->setMinimumWidth(boxWidth(gauge, 24));
        gauge->setAlignment(Qt::AlignCenter);
        label->setBuddy(gauge);
        m_servos[servo] = gauge;
        grid->addWidget(label, servo + 1, 0);
        grid->addWidget(gauge, servo + 1, 1);
        if (servo >= 3)
            continue;
        // Servos 1-3 are the axes X, Y and Z, the ones with switches.
        label->setText(QStringLiteral("%1 (%2)").arg(name, QLatin1String(kAxes[servo])));
        for (SwitchKind kind : {SwitchKind::Home, SwitchKind::Limit}) {
            const bool home = kind == SwitchKind::Home;
            auto *spin = named(new QSpinBox, QStringLiteral("%1%2").arg(home ? "home" : "limit").arg(servo + 1));
            spin->setAccessibleName(QStringLiteral("%1 %2 switch").arg(name, home ? "home" : "limit"));
            spin->setRange(-1, 65535);
            spin->setSpecialValueText(QStringLiteral("none"));
            spin->setValue(-1);
            spin->setKeyboardTracking(false); // the board hears the number when it is typed whole
            connect(spin, &QSpinBox::valueChanged, this,
                    [this, servo, kind](int position) { switch_Change(servo, kind, position); });
            (home ? m_home : m_limit)[servo] = spin;
            grid->addWidget(spin, servo + 1, home ? 2 : 3);
        }
    }
    return box;
}

QWidget *Simboard::buildInputsOutputs()
{
    // 256 of each, numbered as the scripts number them: row r, column c is
    // number 16 r + c.
    auto grid = [](QGroupBox *box) {
        auto *layout = new QGridLayout(box);
        layout->setSpacing(1);
        for (int c = 0; c < kIoColumns; ++c)
            layout->addWidget(new QLabel(QString::number(c)), 0, c + 1, Qt::AlignCenter);
        for (int r = 0; r < BoardState::IoCount / kIoColumns; ++r)
            layout->addWidget(new QLabel(QString::number(r * kIoColumns)), r + 1, 0, Qt::AlignRight);
        return layout;
    };
    auto *outputs = groupBox("outputs", QStringLiteral("Outputs"));
    auto *outputGrid = grid(outputs);
    auto *inputs = groupBox("inputs", QStringLiteral("Inputs"));
    auto *inputGrid = grid(inputs);
    for (int n = 0; n < BoardState::IoCount; ++n) {
        m_outputs[n] = new Lamp(n);
        outputGrid->addWidget(m_outputs[n], n / kIoColumns + 1, n % kIoColumns + 1, Qt::AlignCenter);
        auto *input = named(new QCheckBox, QStringLiteral("input%1").arg(n));
        input->setAccessibleName(QStringLiteral("Input %1").arg(n));
        input->setToolTip(input->accessibleName());
        connect(input, &QCheckBox::toggled, this, [this, n](bool on) { input_Click(n, on); });
        m_inputs[n] = input;
        inputGrid->addWidget(input, n / kIoColumns + 1, n % kIoColumns + 1, Qt::AlignCenter);
    }
    auto *column = new QWidget;
    auto *layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(outputs);
    layout->addWidget(inputs);
    return column;
}

QWidget *Simboard::buildBoard()
{
    auto *box = groupBox("board", QStringLiteral("Board"));
    auto *layout = new QVBoxLayout(box);
    auto *values = new QGridLayout;
    auto value = [&](const char *name, const QString &caption) {
        auto *label = valueLabel(name, QString(), caption);
        const int row = values->rowCount();
        values->addWidget(new QLabel(caption + QLatin1Char(':')), row, 0);
        values->addWidget(label, row, 1);
        return label;
    };
    m_line = value("lineState", QStringLiteral("Line"));
    m_program = value("programState", QStringLiteral("Program"));
    m_notification = value("notification", QStringLiteral("Notification"));
    m_reportRate = value("reportRate", QStringLiteral("Status reports"));
    layout->addLayout(values);

    auto *faults = groupBox("faults", QStringLiteral("Faults"));
    auto *faultLayout = new QVBoxLayout(faults);
    for (int i = 0; i < 6; ++i) {
        const FaultToggle &f = kFaults[i];
        m_faults[i] = named(new QCheckBox(QString::fromLatin1(f.caption)), QString::fromLatin1(f.name));
        connect(m_faults[i], &QCheckBox::toggled, this, [this, f](bool on) { fault_Click(f.fault, on); });
        faultLayout->addWidget(m_faults[i]);
    }
    layout->addWidget(faults);

    auto *reset = button("resetBoard", QStringLiteral("Reset board"));
    auto *load = button("loadState", QStringLiteral("Load state..."));
    auto *save = button("saveState", QStringLiteral("Save state..."));
    connect(reset, &QPushButton::clicked, this, &Simboard::resetBoard_Click);
    connect(load, &QPushButton::clicked, this, &Simboard::loadState_Click);
    connect(save, &QPushButton::clicked, this, &Simboard::saveState_Click);
    layout->addWidget(reset);
    layout->addWidget(load);
    layout->addWidget(save);
    layout->addStretch(1);
    return box;
}

QWidget *Simboard::buildPlot()
{
    auto *box = groupBox("motion", QStringLiteral("Motion, last 30 seconds"));
    m_plot = new MotionPlot;
    auto *pause = named(new QCheckBox(QStringLiteral("Pause")), QStringLiteral("pausePlot"));
    auto *csv = button("exportCsv", QStringLiteral("Export CSV..."));
    auto *png = button("exportPng", QStringLiteral("Export PNG..."));
    connect(pause, &QCheckBox::toggled, this, &Simboard::pausePlot_Click);
    connect(csv, &QPushButton::clicked, this, &Simboard::exportCsv_Click);
    connect(png, &QPushButton::clicked, this, &Simboard::exportPng_Click);
    auto *controls = new QHBoxLayout;
    controls->addWidget(pause);
    controls->addWidget(csv);
    controls->addWidget(png);
    controls->addStretch(1);
    auto *layout = new QVBoxLayout(box);
    layout->addLayout(controls);
    layout->addWidget(m_plot, 1);
    return box;
}

void Simboard::refresh()
{
    // A plain copy, taken under the board's lock in a moment; everything
    // below works on the copy.
    const sim::BoardSnapshot s = m_board.snapshot();

    MotionPlot::Sample sample;
    sample.timeMs = m_clock.elapsed();
    sample.positions = s.positions;
    sample.line = s.runMode == sim::RunMode::Stopped ? -1 : qint64(s.runLine);
    m_plot->add(sample);

    for (int servo = 0; servo < BoardState::ServoCount; ++servo)
        m_servos[servo]->setValue(s.positions[servo]);
    for (int axis = 0; axis < 3; ++axis) {
        // A box the operator is typing in keeps what is being typed.
        for (auto [spin, position] : {std::pair{m_home[axis], s.home[axis]}, {m_limit[axis], s.limit[axis]}}) {
            const QString shown = spin->value() == spin->minimum()
                                      ? spin->specialValueText()
                                      : spin->locale().toString(spin->value()).remove(spin->locale().groupSeparator());
            const bool typing = spin->hasFocus() && spin->text() != shown;
            if (!typing && spin->value() != position) {
                const QSignalBlocker block(spin);
                spin->setValue(position);
            }
        }
    }
    const qint64 now = m_clock.elapsed();
    for (int n = 0; n < BoardState::IoCount; ++n) {
        m_outputs[n]->setOn(s.outputs[n]);
        // A box just ticked waits a moment for the board to take the change
        // rather than flicker back.
        if (m_inputs[n]->isChecked() != s.inputs[n] && m_inputHeldUntil[n] > now)
            continue;
        m_inputHeldUntil[n] = 0;
        showChecked(m_inputs[n], s.inputs[n]);
    }
    for (int i = 0; i < 6; ++i)
        showChecked(m_faults[i], s.fault == kFaults[i].fault);

    m_line->setText(s.running ? QStringLiteral("On the line") : QStringLiteral("Off the line"));
    m_program->setText(programText(s));
    m_notification->setText(QString::number(s.notification));
    m_reportRate->setText(s.reportsOn ? QStringLiteral("every %1 ms").arg(s.reportTicks * 10) : QStringLiteral("off"));
}

void Simboard::input_Click(int input, bool on)
{
    m_board.setInput(input, on);
    m_inputHeldUntil[input] = m_clock.elapsed() + kInputHoldMs;
}

void Simboard::switch_Change(int axis, SwitchKind kind, int position)
{
    m_board.setSwitch(axis, kind, position);
}

void Simboard::fault_Click(Fault fault, bool on)
{
    // The board shows one fault at a time: ticking one clears the others.
    if (on)
        m_board.setFault(fault);
    else if (m_board.fault() == fault)
        m_board.setFault(Fault::None);
    refresh();
}

void Simboard::resetBoard_Click()
{
    m_board.resetBoard();
}

void Simboard::loadState_Click()
{
    HandlerGuard guard(this); // the file dialog runs its own event loop
    const QString path = m_askPath(QStringLiteral("Load board state"), QStringLiteral("Board state (*.vbs)"), false);
    if (path.isEmpty())
        return;
    QString error;
    if (!m_board.loadState(path, &error))
        showMessage(this, QStringLiteral("Cannot load the board's state from %1: %2").arg(path, error));
    refresh();
}

void Simboard::saveState_Click()
{
    HandlerGuard guard(this);
    const QString path = m_askPath(QStringLiteral("Save board state"), QStringLiteral("Board state (*.vbs)"), true);
    if (path.isEmpty())
        return;
    QString error;
    if (!m_board.saveState(path, &error))
        showMessage(this, QStringLiteral("Cannot save the board's state to %1: %2").arg(path, error));
}

void Simboard::pausePlot_Click(bool paused)
{
    m_plot->setPaused(paused);
}

void Simboard::exportCsv_Click()
{
    HandlerGuard guard(this);
    const QString path = m_askPath(QStringLiteral("Export motion"), QStringLiteral("CSV (*.csv)"), true);
    if (path.isEmpty())
        return;
    QString error;
    if (!saveFile(path, m_plot->csv(), &error))
        showMessage(this, QStringLiteral("Cannot export the motion to %1: %2").arg(path, error));
}

void Simboard::exportPng_Click()
{
    HandlerGuard guard(this);
    const QString path = m_askPath(QStringLiteral("Export plot"), QStringLiteral("PNG image (*.png)"), true);
    if (path.isEmpty())
        return;
    // Drawn afresh at the plot's size, not grabbed from the screen, so a
    // covered or minimised window exports the same picture.
    const qreal ratio = m_plot->devicePixelRatioF();
    QImage image(m_plot->size() * ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    {
        QPainter painter(&image);
        painter.setFont(m_plot->font());
        m_plot->paintPlot(painter, m_plot->rect());
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QString error;
    if (!image.save(&buffer, "PNG"))
        error = QStringLiteral("the image could not be encoded");
    else
        saveFile(path, bytes, &error);
    if (!error.isEmpty())
        showMessage(this, QStringLiteral("Cannot export the plot to %1: %2").arg(path, error));
}

} // namespace pvelm

#include "simboard.moc"
