#pragma once

#include "boardtools/paramblock.h"
#include "link/link.h"
#include "link/traffic.h"
#include "settings/settings.h"
#include "ui/toolwindow.h"

#include <deque>

#include <QElapsedTimer>
#include <QMainWindow>

class QLabel;
class QMenu;
class QTimer;
class QToolButton;
class QLineEdit;
class QPushButton;

namespace pvelm {

namespace sim {
class VirtualBoard;
}

class MessageBar;
class Aboutform;
class Insbuilder;
class packedinsbuilder;
class positionbuilder;
class Spdbuild;
class Binsend;
class ssetup;
class filegobbler;
class Sendinst;
class Sndshort;
class Parametercon;
class Memoryeditor;
class Trafficlog;
class Simboard;
struct StatusReport;
struct LinkResult;

// "PVelm Main Control": the first window and the end of the run. It owns the
// settings record and the one link, opens every other window from its menus
// and hands them the link.
class Velmcon : public QMainWindow
{
    Q_OBJECT

public:
    explicit Velmcon(QWidget *parent = nullptr);
    ~Velmcon() override;

    // Start-up: settings, notifications, port. Returns false when the
    // program must end (the settings file cannot be made or read).
    bool Form_Load();
    // Shutdown: ends every wait, closes the port and every other window, and
    // ends the program. Runs once, from the close event.
    void Form_Unload();

    // Opens (or reopens) the port from the settings and shows the outcome:
    // the device and settings in the status bar, or the failure message and
    // the reason. Returns whether the port is open.
    bool openPort();
    // The port's state in the status bar, and the Reconnect action beside
    // it while the port is not open.
    void showPortState();

    // With the virtual board: writes the demo program to the source path of
    // the settings when no file is there yet, so a first compile has
    // something to read, and says so in the status bar. Returns whether it
    // wrote the file.
    bool installDemoProgram();

    // Says something in the status bar until the next operation succeeds or
    // the bar's note timeout passes.
    void showNote(const QString &text);
    MessageBar *messageBar() const;

    void sendinstX_Click();
    void sendinstY_Click();
    void filegobblery_Click();
    void binsendY_Click();
    void ssetupY_Click();
    void About_Click();
    void insbuild_Click();
    void posbuild_Click();
    void pinsbuild_Click();
    void speedbuilderY_Click();
    void parameterconY_Click();
    void MemoryeditorY_Click();
    void trafficlogY_Click();
    void simboardY_Click();

    // The board this process runs (--simulate), or none. With a board the
    // "Setup and Tools" menu gets "Virtual Board"; the board must outlive
    // this window.
    void setVirtualBoard(sim::VirtualBoard *board);

    // Run controls: each sends its command; Run and Run at line then
    // monitor the status reports until they stop (they return only then).
    void Run_Click();
    void Runatline_Click();
    void pauseit_Click();
    void stopall_Click();
    // "Monitor status" restarts the monitor without sending Run; "Refresh
    // status" reads and shows one report.
    void Monitor_Click();
    void Getstatus_Click();

    Link &link() { return m_link; }
    // The link's traffic log: the "Traffic Log" window's ring and --trace.
    TrafficLog &traffic() { return m_traffic; }
    SettingsRecord &settings() { return m_settings; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildMenus();
    QWidget *buildRunFrames();
    void startRun(quint32 line, const QString &note = QString());
    // The monitor loop: shows every report until the reports stop or
    // `monitoring` is cleared.
    void decodeStatus();
    // The script editor's Insert Pose: the servos' current positions as a
    // POSITION line, or empty with the reason.
    QString currentPose(QString *why);
    void showStatus(const StatusReport &report);
    // The monitor's pulse: reports a second and the age of the last one.
    void showMonitorLife();
    // Says in the status bar that the link refused the command.
    void refused();
    // A run command's outcome: a refusal said, a success clears the last
    // note. False when it was refused.
    bool sent(const LinkResult &r);

    SettingsRecord m_settings;
    Link m_link;
    TrafficLog m_traffic;
    QLabel *m_notifications = nullptr;
    QLabel *m_portState = nullptr;
    QLineEdit *m_linetorun = nullptr;
    QLabel *m_runstop = nullptr;
    QLabel *m_currentline = nullptr;
    QLabel *m_position = nullptr; // "Label4"
    QLabel *m_stack = nullptr;    // "Label5"
    QLabel *m_loop = nullptr;     // "Label6"
    QLabel *m_monitorLife = nullptr;
    QTimer *m_lifeTimer = nullptr;
    QElapsedTimer m_clock;
    std::deque<qint64> m_reportTimes; // m_clock times of the recent reports
    qint64 m_lastReport = -1;
    qint64 m_monitorStart = 0;
    WindowSlot<Sndshort> m_sndshort;
    WindowSlot<Sendinst> m_sendinst;
    WindowSlot<filegobbler> m_filegobbler;
    WindowSlot<Binsend> m_binsend;
    WindowSlot<ssetup> m_ssetup;
    // While the port is lost: looks for its device once a second, so the
    // operator learns when the adapter is back. Never reopens by itself.
    QTimer *m_deviceWatch = nullptr;
    QString m_deviceMessage; // what the watch last said in the status bar
    QToolButton *m_reconnect = nullptr;
    WindowSlot<Aboutform> m_about;
    WindowSlot<Insbuilder> m_insbuilder;
    WindowSlot<positionbuilder> m_positionbuilder;
    WindowSlot<packedinsbuilder> m_packedinsbuilder;
    WindowSlot<Spdbuild> m_spdbuild;
    WindowSlot<Parametercon> m_parametercon;
    WindowSlot<Memoryeditor> m_memoryeditor;
    WindowSlot<Trafficlog> m_trafficlog;
    WindowSlot<Simboard> m_simboard;
    QMenu *m_setupMenu = nullptr;
    sim::VirtualBoard *m_board = nullptr;
    // The board parameters window's working copy lives as long as the program.
    std::optional<boardtools::ParamBlock> m_parameterCopy;
    bool m_unloaded = false;
};

} // namespace pvelm
