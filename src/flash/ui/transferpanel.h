#pragma once

#include "flash/transfer.h"

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace pvelm {

// The progress of a long flash operation: a bar with pages done of pages in
// all, the time left, a Cancel button, and one line that says how the last
// operation ended. The download and the flash utility share it.
class TransferPanel : public QWidget
{
    Q_OBJECT

public:
    explicit TransferPanel(QWidget *parent = nullptr);

    // Hooks for one operation; `extra` are the window's own (it shows the
    // page in transfer its own way). Resets the bar and enables Cancel.
    flash::TransferHooks begin(flash::TransferHooks extra = {});
    // Disables Cancel and shows how the operation ended.
    void end(const QString &outcome);
    // Asks the running operation to stop after the page in transfer.
    void requestCancel() { m_cancelRequested = true; }
    bool isRunning() const { return m_running; }

private:
    void show(const flash::Progress &progress);

    QProgressBar *m_bar;
    QLabel *m_timeLeft;
    QPushButton *m_cancel;
    QLabel *m_outcome;
    bool m_cancelRequested = false;
    bool m_running = false;
};

} // namespace pvelm
