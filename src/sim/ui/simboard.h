#pragma once

#include "sim/virtualboard.h"
#include "ui/toolwindow.h"

#include <array>
#include <functional>

#include <QElapsedTimer>

class QCheckBox;
class QLabel;
class QProgressBar;
class QSpinBox;
class QTimer;

namespace pvelm {

class Lamp;
class MotionPlot;

// "Virtual Board": the in-process board as the operator sees and touches
// it. The servos as gauges, the outputs as lamps, the inputs as boxes to
// tick, the switches of X, Y and Z, the report rate, the faults, reset and
// the state file, and a plot of the last 30 seconds of motion. It reads the
// board's snapshot up to 30 times a second and changes the board through its
// queued calls, never through the serial line, so it cannot disturb an
// exchange the console has running.
class Simboard : public ToolWindow
{
    Q_OBJECT

public:
    static constexpr int FrameMs = 33;

    Simboard(sim::VirtualBoard &board, QWidget *parent);

    // Reads a snapshot and shows it; the frame timer calls it, tests call
    // it to look at once.
    void refresh();

    void input_Click(int input, bool on);
    void switch_Change(int axis, sim::SwitchKind kind, int position);
    void fault_Click(sim::Fault fault, bool on);
    void resetBoard_Click();
    void loadState_Click();
    void saveState_Click();
    void pausePlot_Click(bool paused);
    void exportCsv_Click();
    void exportPng_Click();

    MotionPlot *plot() const { return m_plot; }

    // Where the file buttons ask for a path (caption, file filter, whether
    // the file is to be written); empty means cancelled. Tests answer
    // without a dialog.
    using PathAsker = std::function<QString(const QString &caption, const QString &filter, bool save)>;
    void setPathAsker(PathAsker asker) { m_askPath = std::move(asker); }

protected:
    // The frames run only while the window is on screen.
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QWidget *buildServos();
    QWidget *buildInputsOutputs();
    QWidget *buildBoard();
    QWidget *buildPlot();

    sim::VirtualBoard &m_board;
    QTimer *m_frames;
    QElapsedTimer m_clock; // the plot's time 0: the window's opening
    std::array<QProgressBar *, sim::BoardState::ServoCount> m_servos{};
    std::array<QSpinBox *, 3> m_home{};
    std::array<QSpinBox *, 3> m_limit{};
    std::array<Lamp *, sim::BoardState::IoCount> m_outputs{};
    std::array<QCheckBox *, sim::BoardState::IoCount> m_inputs{};
    std::array<qint64, sim::BoardState::IoCount> m_inputHeldUntil{};
    std::array<QCheckBox *, 6> m_faults{};
    QLabel *m_line;
    QLabel *m_program;
    QLabel *m_notification;
    QLabel *m_reportRate;
    MotionPlot *m_plot;
    PathAsker m_askPath;
};

} // namespace pvelm
