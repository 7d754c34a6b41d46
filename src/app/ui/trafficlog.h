#pragma once

#include "ui/toolwindow.h"

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace pvelm {

class TrafficLog;

// "Traffic Log": every chunk the link sends and receives, newest at the
// bottom, from the ring of the main window's traffic log, which records for
// the whole run: opening the window shows what just happened. A filter
// shows only the entries that hold its text.
class Trafficlog : public ToolWindow
{
    Q_OBJECT

public:
    Trafficlog(TrafficLog &log, QWidget *parent);
    ~Trafficlog() override;

    void hexView_Click();
    void pauseLog_Click();
    void clearLog_Click();
    void saveLog_Click();
    void ringSize_Change();

    // Shows what the ring took since the last look (normally a moment after
    // the entries arrive; tests call it to look at once).
    void refresh();

    // Where "Save..." asks for the file name; empty means cancelled. Tests
    // answer without a dialog.
    void setSavePathAsker(std::function<QString()> asker) { m_askSavePath = std::move(asker); }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void rebuild();
    void showCount();

    TrafficLog &m_log;
    QPlainTextEdit *m_text;
    QCheckBox *m_hex;
    QCheckBox *m_pause;
    QSpinBox *m_ringSize;
    QLineEdit *m_filter;
    QLabel *m_count;
    std::function<QString()> m_askSavePath;
    qint64 m_shown = 0; // ring total already on screen
    bool m_refreshPending = false;
};

} // namespace pvelm
