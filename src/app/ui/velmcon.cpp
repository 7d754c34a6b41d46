#include "app/ui/velmcon.h"

#include "app/ui/aboutform.h"
#include "app/ui/messagebar.h"
#include "app/ui/ssetup.h"
#include "app/ui/trafficlog.h"
#include "boardtools/ui/memoryeditor.h"
#include "boardtools/ui/parametercon.h"
#include "boardtools/ui/sendinst.h"
#include "boardtools/ui/sndshort.h"
#include "compiler/demoprogram.h"
#include "compiler/runningline.h"
#include "compiler/ui/filegobbler.h"
#include "editors/codecs.h"
#include "editors/pose.h"
#include "editors/ui/imageeditors.h"
#include "editors/ui/positionbuilder.h"
#include "editors/ui/spdbuild.h"
#include "flash/ui/binsend.h"
#include "link/exchange.h"
#include "link/packets.h"
#include "run/runcontrol.h"
#include "settings/hostpaths.h"
#include "settings/portchoice.h"
#include "sim/ui/simboard.h"
#include "ui/controls.h"
#include "ui/messages.h"

#include <algorithm>
#include <utility>

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTime>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace pvelm {

namespace {

QAction *addItem(QWidget *menu, const char *name, const QString &caption)
{
    auto *action = new QAction(caption, menu);
    action->setObjectName(QString::fromLatin1(name));
    menu->addAction(action);
    return action;
}

} // namespace

Velmcon::Velmcon(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("Velmcon"));
    setWindowTitle(QStringLiteral("PVelm Main Control"));
    m_link.setSettings(&m_settings);
    m_traffic.setLink(&m_link);
    // Always recording, so the traffic log window shows what just happened.
    m_traffic.setRingEnabled(true);

    buildMenus();

    setCentralWidget(buildRunFrames());

    // The port state stays in the status bar; notices use its message area.
    setStatusBar(new MessageBar(this));
    m_portState = new QLabel;
    m_portState->setObjectName(QStringLiteral("portState"));
    // A value label: its caption is the description, so a screen reader reads the state.
    m_portState->setAccessibleDescription(QStringLiteral("Serial port"));
    statusBar()->addPermanentWidget(m_portState);
    m_reconnect = new QToolButton;
    m_reconnect->setObjectName(QStringLiteral("reconnect"));
    m_reconnect->setText(QStringLiteral("Reconnect"));
    m_reconnect->setVisible(false);
    statusBar()->addPermanentWidget(m_reconnect);
    connect(m_reconnect, &QToolButton::clicked, this, &Velmcon::openPort);
    m_deviceWatch = new QTimer(this);
    m_deviceWatch->setInterval(1000);
    connect(m_deviceWatch, &QTimer::timeout, this, [this] {
        const QString device = m_link.configuredDevice();
        const Link::DeviceReturn found = m_link.lostDeviceReturn();
        if (found == Link::DeviceReturn::Gone)
            return;
        m_deviceWatch->stop();
        // A network serial server is back when it takes a connection again.
        if (isNetworkName(device))
            m_deviceMessage = QStringLiteral("%1 takes connections again: press Reconnect to connect").arg(device);
        else if (found == Link::DeviceReturn::Same)
            m_deviceMessage = QStringLiteral("%1 is back: press Reconnect to open it").arg(device);
        else
            m_deviceMessage = QStringLiteral("%1 is there, but it is another device than the one lost: press "
                                             "Reconnect to open it")
                                  .arg(device);
        statusBar()->showMessage(m_deviceMessage);
    });
    connect(&m_link, &Link::portLost, this, [this] {
        showPortState();
        m_deviceWatch->start();
    });

    resize(560, 260);
}

Velmcon::~Velmcon()
{
    // The other windows use the link: they go before it does.
    qDeleteAll(findChildren<ToolWindow *>(Qt::FindDirectChildrenOnly));
    m_link.closePort();
}

void Velmcon::buildMenus()
{
    QMenuBar *bar = menuBar();

    QMenu *mpos = bar->addMenu(QStringLiteral("Move && Position Edit"));
    mpos->setObjectName(QStringLiteral("mpos"));
    connect(addItem(mpos, "insbuild", QStringLiteral("Instruction Editor")), &QAction::triggered, this,
            &Velmcon::insbuild_Click);
    connect(addItem(mpos, "posbuild", QStringLiteral("Position Manager")), &QAction::triggered, this,
            &Velmcon::posbuild_Click);
    connect(addItem(mpos, "pinsbuild", QStringLiteral("Packed Move/Position Editor")), &QAction::triggered, this,
            &Velmcon::pinsbuild_Click);
    connect(addItem(mpos, "speedbuilderY", QStringLiteral("Speed Editor")), &QAction::triggered, this,
            &Velmcon::speedbuilderY_Click);

    QMenu *setup = bar->addMenu(QStringLiteral("Setup and Tools"));
    setup->setObjectName(QStringLiteral("setup"));
    m_setupMenu = setup;
    connect(addItem(setup, "ssetupY", QStringLiteral("System Setup")), &QAction::triggered, this,
            &Velmcon::ssetupY_Click);
    connect(addItem(setup, "parameterconY", QStringLiteral("Board Setup")), &QAction::triggered, this,
            &Velmcon::parameterconY_Click);
    connect(addItem(setup, "MemoryeditorY", QStringLiteral("Memory Editor")), &QAction::triggered, this,
            &Velmcon::MemoryeditorY_Click);
    connect(addItem(setup, "sendinstX", QStringLiteral("Send Short Command")), &QAction::triggered, this,
            &Velmcon::sendinstX_Click);
    connect(addItem(setup, "sendinstY", QStringLiteral("Send Long Command")), &QAction::triggered, this,
            &Velmcon::sendinstY_Click);
    connect(addItem(setup, "binsendY", QStringLiteral("Flash Tools")), &QAction::triggered, this,
            &Velmcon::binsendY_Click);
    connect(addItem(setup, "trafficlogY", QStringLiteral("Traffic Log")), &QAction::triggered, this,
            &Velmcon::trafficlogY_Click);

    connect(addItem(bar, "filegobblery", QStringLiteral("VelmScript File Downalod")), &QAction::triggered, this,
            &Velmcon::filegobblery_Click);
    connect(addItem(bar, "About", QStringLiteral("About")), &QAction::triggered, this, &Velmcon::About_Click);
}

QWidget *Velmcon::buildRunFrames()
{
    // "Run Controls": pause, run, run at a line, stop.
    auto *pauseit = button("pauseit", QStringLiteral("Pause"));
    auto *run = button("Run", QStringLiteral("Run / Resume"));
    auto *stopall = button("stopall", QStringLiteral("Stop"));
    auto *runatline = button("Runatline", QStringLiteral("Run"));
    m_linetorun = new QLineEdit(QStringLiteral("0"));
    m_linetorun->setObjectName(QStringLiteral("linetorun"));
    m_linetorun->setAccessibleName(QStringLiteral("Run at line number"));
    m_linetorun->setMaximumWidth(boxWidth(m_linetorun, 7));
    auto *atLine = new QGroupBox(QStringLiteral("Run at line number"));
    auto *atLineLayout = new QHBoxLayout(atLine);
    atLineLayout->addWidget(m_linetorun);
    atLineLayout->addWidget(runatline);

    auto *runControls = new QGroupBox(QStringLiteral("Run Controls"));
    auto *runLayout = new QVBoxLayout(runControls);
    runLayout->addWidget(pauseit);
    runLayout->addWidget(run);
    runLayout->addWidget(atLine);
    runLayout->addWidget(stopall);
    runLayout->addStretch(1);

    // "Status ": the monitor buttons, the mode, the line, the counters and
    // the last notification.
    auto *monitor = button("Monitor", QStringLiteral("Monitor status"));
    auto *getstatus = button("Getstatus", QStringLiteral("Refresh status"));
    m_runstop = valueLabel("Runstop", QString::fromLatin1(kModeStopped), QStringLiteral("Mode"));
    m_currentline = valueLabel("currentline", QString(), QStringLiteral("Line number"));
    m_notifications = valueLabel("notifications", QString(), QStringLiteral("Notifications"));
    m_position = valueLabel("Label4", QStringLiteral("00000"), QStringLiteral("Position"));
    m_stack = valueLabel("Label5", QStringLiteral("00000"), QStringLiteral("Stack"));
    m_loop = valueLabel("Label6", QStringLiteral("00000"), QStringLiteral("Loop"));
    m_monitorLife = valueLabel("monitorLife", QStringLiteral("Not monitoring"), QStringLiteral("Monitor"));
    m_clock.start();
    m_lifeTimer = new QTimer(this);
    m_lifeTimer->setInterval(250);
    connect(m_lifeTimer, &QTimer::timeout, this, &Velmcon::showMonitorLife);

    auto *counters = new QGridLayout;
    int row = 0;
    for (QLabel *value : {m_position, m_stack, m_loop}) {
        counters->addWidget(new QLabel(value->accessibleDescription()), row, 0);
        counters->addWidget(value, row++, 1);
    }
    counters->setColumnStretch(1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(monitor);
    buttons->addWidget(getstatus);
    buttons->addStretch(1);
    auto *modeAndLine = new QHBoxLayout;
    modeAndLine->addWidget(frame(QStringLiteral("Mode"), m_runstop), 1);
    modeAndLine->addWidget(frame(QStringLiteral("Line number"), m_currentline), 1);

    auto *status = new QGroupBox(QStringLiteral("Status "));
    auto *statusLayout = new QVBoxLayout(status);
    statusLayout->addLayout(buttons);
    statusLayout->addLayout(modeAndLine);
    statusLayout->addLayout(counters);
    statusLayout->addWidget(m_monitorLife);
    statusLayout->addWidget(frame(QStringLiteral("Notifications"), m_notifications));
    statusLayout->addStretch(1);

    connect(run, &QPushButton::clicked, this, &Velmcon::Run_Click);
    connect(runatline, &QPushButton::clicked, this, &Velmcon::Runatline_Click);
    connect(pauseit, &QPushButton::clicked, this, &Velmcon::pauseit_Click);
    connect(stopall, &QPushButton::clicked, this, &Velmcon::stopall_Click);
    connect(monitor, &QPushButton::clicked, this, &Velmcon::Monitor_Click);
    connect(getstatus, &QPushButton::clicked, this, &Velmcon::Getstatus_Click);

    auto *central = new QWidget;
    auto *layout = new QHBoxLayout(central);
    layout->addWidget(runControls);
    layout->addWidget(status, 1);
    return central;
}

bool Velmcon::Form_Load()
{
    const SettingsLoad loaded = loadSettings(m_settings);
    if (!loaded.ok) {
        if (!loaded.error.isEmpty())
            qWarning("%s: %s", kSettingsFatalMessage, qPrintable(loaded.error));
        showMessage(this, QString::fromLatin1(kSettingsFatalMessage));
        return false;
    }
    if (!loaded.notice.isEmpty())
        showNote(loaded.notice);
    m_notifications->setText(QStringLiteral("None"));
    openPort();
    return true;
}

bool Velmcon::openPort()
{
    if (!m_link.opencomport()) {
        showNote(QString::fromLatin1(kExchangeRefusedMessage));
        return m_link.isPortOpen();
    }
    m_deviceWatch->stop();
    // What the watch said about the lost device is stale once the port was
    // opened again (or failed to open: the state says so).
    if (!m_deviceMessage.isEmpty() && statusBar()->currentMessage() == m_deviceMessage)
        statusBar()->clearMessage();
    m_deviceMessage.clear();
    // The state goes up before any box, so the operator sees both at once.
    showPortState();
    if (m_link.isPortOpen())
        return true;
    showMessage(this, QString::fromLatin1(kPortOpenFailedMessage));
    return false;
}

void Velmcon::showPortState()
{
    m_portState->setText(m_link.portStateText());
    m_reconnect->setVisible(!m_link.isPortOpen());
}

void Velmcon::closeEvent(QCloseEvent *event)
{
    event->accept();
    Form_Unload();
}

void Velmcon::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    // A handler may be waiting inside an exchange right now: end its wait
    // first. It returns into its window after this, so the windows are only
    // closed (hidden), and deleted once their handlers are done.
    m_link.stopAll();
    m_link.closePort();
    const QList<ToolWindow *> windows = findChildren<ToolWindow *>(Qt::FindDirectChildrenOnly);
    for (ToolWindow *window : windows)
        window->close();
    QCoreApplication::quit();
}

void Velmcon::sendinstX_Click()
{
    m_sndshort.show([this] { return new Sndshort(m_link, this); });
}

void Velmcon::sendinstY_Click()
{
    m_sendinst.show([this] { return new Sendinst(m_link, this); });
}

void Velmcon::ssetupY_Click()
{
    m_ssetup.show([this] {
        ssetup::Actions actions;
        actions.reconnect = [this] { openPort(); };
        actions.endProgram = [this] { close(); };
        return new ssetup(m_settings, std::move(actions), this);
    });
}

void Velmcon::parameterconY_Click()
{
    m_parametercon.show([this] { return new Parametercon(m_link, m_parameterCopy, this); });
}

void Velmcon::MemoryeditorY_Click()
{
    m_memoryeditor.show([this] { return new Memoryeditor(m_link, this); });
}

void Velmcon::trafficlogY_Click()
{
    m_trafficlog.show([this] { return new Trafficlog(m_traffic, this); });
}

void Velmcon::setVirtualBoard(sim::VirtualBoard *board)
{
    if (m_board || !board)
        return;
    m_board = board;
    connect(addItem(m_setupMenu, "simboardY", QStringLiteral("Virtual Board")), &QAction::triggered, this,
            &Velmcon::simboardY_Click);
}

void Velmcon::simboardY_Click()
{
    if (m_board)
        m_simboard.show([this] { return new Simboard(*m_board, this); });
}

void Velmcon::binsendY_Click()
{
    m_binsend.show([this] { return new Binsend(m_link, m_settings, this); });
}

void Velmcon::filegobblery_Click()
{
    m_filegobbler.show([this] {
        auto *window = new filegobbler(m_link, m_settings, this);
        // The script editor runs the board through this window's own run
        // commands and monitor, and teaches poses through the link.
        ScriptEditor::Board board;
        board.run = [this](quint32 line) { startRun(line); };
        board.pause = [this] { pauseit_Click(); };
        board.stop = [this] { stopall_Click(); };
        board.pose = [this](QString *why) { return currentPose(why); };
        window->setBoard(std::move(board));
        return window;
    });
}

QString Velmcon::currentPose(QString *why)
{
    // The servos ticked "Use" in the Position Manager, all eight while it
    // is closed.
    std::bitset<8> used;
    used.set();
    if (positionbuilder *manager = m_positionbuilder.window())
        used = manager->usedServos();
    if (used.none()) {
        *why = QStringLiteral("no servo is ticked \"Use\" in the Position Manager");
        return QString();
    }
    // The Position Manager's Get Current; the board reports the servos'
    // positions whatever the line.
    const LinkResult r = exchange(m_link, &Link::rawsender, editors::lineRequest("R01", 0));
    const std::optional<QList<int>> current = r.succeeded() ? editors::currentFromReply(r.reply) : std::nullopt;
    if (!current) {
        *why = !r.ran ? QString::fromLatin1(kExchangeRefusedMessage)
                      : QStringLiteral("the board sent no positions (%1)").arg(r.status());
        return QString();
    }
    std::array<int, 8> positions{};
    for (int k = 0; k < 8; ++k)
        positions[size_t(k)] = current->at(k);
    return editors::poseStatement(positions, used);
}

bool Velmcon::installDemoProgram()
{
    const QString source = m_settings.path(SettingsRecord::kScriptPathColumn);
    QString why;
    if (compiler::installDemoProgram(hostpaths::toHost(source), &why)) {
        showNote(QStringLiteral("Demo program written to %1").arg(source));
        return true;
    }
    // No reason means the operator's own file is there: leave it alone.
    if (!why.isEmpty())
        showNote(QStringLiteral("The demo program could not be written to %1: %2").arg(source, why));
    return false;
}

void Velmcon::insbuild_Click()
{
    m_insbuilder.show([this] { return new Insbuilder(m_link, this); });
}

void Velmcon::posbuild_Click()
{
    m_positionbuilder.show([this] { return new positionbuilder(m_link, this); });
}

void Velmcon::pinsbuild_Click()
{
    m_packedinsbuilder.show([this] { return new packedinsbuilder(m_link, this); });
}

void Velmcon::speedbuilderY_Click()
{
    m_spdbuild.show([this] { return new Spdbuild(m_link, this); });
}

void Velmcon::About_Click()
{
    m_about.show([this] { return new Aboutform(this); });
}

// ---- run control and the status monitor ---------------------------------

void Velmcon::refused()
{
    showNote(QString::fromLatin1(kExchangeRefusedMessage));
}

bool Velmcon::sent(const LinkResult &r)
{
    if (!r.ran) {
        refused();
        return false;
    }
    if (!r.noLink())
        messageBar()->clearNote();
    return true;
}

void Velmcon::Run_Click()
{
    startRun(0);
}

void Velmcon::Runatline_Click()
{
    // The number typed, turned into hex, its rightmost six digits sent:
    // beyond the program's last line too (velm run keeps to 0 to 32767).
    const editors::Checked line = editors::typedAsHex(QStringLiteral("Run at line"), m_linetorun->text(), 6);
    if (!line.ok()) {
        showNote(line.refusal);
        return;
    }
    startRun(quint32(line.value), line.note);
}

void Velmcon::startRun(quint32 line, const QString &note)
{
    ToolWindow::HandlerGuard guard(this);
    if (!sent(sendRunCommand(m_link, runPacket(line))))
        return;
    if (!note.isEmpty())
        showNote(note);
    // Whether the board took the command is not looked at: one that did not
    // sends no reports, and the monitor ends after its first empty read.
    m_link.monitoring = true;
    decodeStatus();
}

void Velmcon::pauseit_Click()
{
    ToolWindow::HandlerGuard guard(this);
    sent(sendRunCommand(m_link, pausePacket()));
}

void Velmcon::stopall_Click()
{
    ToolWindow::HandlerGuard guard(this);
    sent(sendRunCommand(m_link, stopPacket()));
}

void Velmcon::Monitor_Click()
{
    ToolWindow::HandlerGuard guard(this);
    if (m_link.isBusy())
        return refused();
    m_link.monitoring = true;
    decodeStatus();
}

void Velmcon::Getstatus_Click()
{
    ToolWindow::HandlerGuard guard(this);
    if (m_link.isBusy())
        return refused();
    // One read: `monitoring` lets it wait, and goes back to what it was
    // unless someone cleared it meanwhile.
    const bool wasMonitoring = m_link.monitoring;
    m_link.monitoring = true;
    // Reports queued since the last read are old news: the board's next
    // report is the one to show.
    m_link.discardMonitorInput();
    m_link.readMonitorReply();
    if (m_link.monitoring)
        m_link.monitoring = wasMonitoring;
    if (const auto report = decodeStatusReport(m_link.linkRawInput.left(kStatusReportLength))) {
        messageBar()->clearNote();
        showStatus(*report);
    }
}

void Velmcon::decodeStatus()
{
    m_reportTimes.clear();
    m_monitorStart = m_clock.elapsed();
    m_lifeTimer->start();
    showMonitorLife();
    // The first report of a run of the monitor is the operation's success.
    bool first = true;
    runStatusMonitor(m_link, [this, &first](const StatusReport &report) {
        if (std::exchange(first, false))
            messageBar()->clearNote();
        showStatus(report);
    });
    m_lifeTimer->stop();
    showMonitorLife();
}

void Velmcon::showMonitorLife()
{
    // Reports of the last two seconds give the rate.
    constexpr qint64 windowMs = 2000;
    const qint64 now = m_clock.elapsed();
    while (!m_reportTimes.empty() && m_reportTimes.front() < now - windowMs)
        m_reportTimes.pop_front();
    const QString age =
        m_lastReport < 0 ? QStringLiteral("no report yet")
                         : QStringLiteral("last report %1 s ago").arg(double(now - m_lastReport) / 1000.0, 0, 'f', 1);
    if (!m_lifeTimer->isActive()) {
        // Nothing updates the line now: a clock time stays true, an age would not.
        const QString when =
            m_lastReport < 0
                ? QStringLiteral("no report yet")
                : QStringLiteral("last report at %1")
                      .arg(QTime::currentTime().addMSecs(m_lastReport - now).toString(QStringLiteral("HH:mm:ss")));
        m_monitorLife->setText(QStringLiteral("Not monitoring, %1").arg(when));
        return;
    }
    // Over the time monitored so far, while that is shorter than the window.
    const qint64 span = std::clamp<qint64>(now - m_monitorStart, 250, windowMs);
    m_monitorLife->setText(QStringLiteral("Monitoring: %1 reports a second, %2")
                               .arg(double(m_reportTimes.size()) * 1000.0 / double(span), 0, 'f', 1)
                               .arg(age));
}

void Velmcon::showStatus(const StatusReport &report)
{
    m_position->setText(report.position);
    m_stack->setText(report.stack);
    m_loop->setText(report.loop);
    m_currentline->setText(report.currentLine);
    // The script editor follows the running board.
    compiler::RunningLine::instance().reportStatus(report.currentLine, report.mode, report.notification);
    m_runstop->setText(report.mode);
    if (!report.notification.isEmpty())
        m_notifications->setText(report.notification);
    m_lastReport = m_clock.elapsed();
    m_reportTimes.push_back(m_lastReport);
    // An invalid instruction where a run stopped is, on a new board, most
    // often flash that was never written.
    if (report.notificationCode == 50 && report.mode == QLatin1String(kModeStopped))
        showNote(QStringLiteral("No program at line %1: compile and download one first").arg(report.currentLine));
}

void Velmcon::showNote(const QString &text)
{
    messageBar()->showNote(text);
}

MessageBar *Velmcon::messageBar() const
{
    return static_cast<MessageBar *>(statusBar());
}

} // namespace pvelm
