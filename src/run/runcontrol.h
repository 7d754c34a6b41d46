#pragma once

#include "link/exchange.h"

#include <functional>
#include <optional>

#include <QString>

namespace pvelm {

class Link;

// Run control and the status monitor without their window: the run buttons
// of the main window and `velm run/pause/stop/monitor` both use these.

// Highest line a program can start at (lines 0 to 32767).
inline constexpr int kLastProgramLine = 32767;

// The long requests of the run buttons, 64 characters each: "R05" with the
// start line as six hex digits at 7-12, "R07" and "R00" with the template's
// letters left standing.
QString runPacket(quint32 line);
QString pausePacket();
QString stopPacket();

// Reads `linetorun`: a whole decimal number from 0 to 32767 (blanks around it
// allowed). Anything else is refused with the reason in *why.
std::optional<quint32> parseLineToRun(const QString &text, QString *why = nullptr);

// Sends one run command with sendonly. Not run when refused (another
// exchange is in progress, or a long operation holds the link); the link
// state is then untouched. Whether the board took the handshake is the
// result's code.
LinkResult sendRunCommand(Link &link, const QString &packet);

// One status report, decoded into what the status labels show.
struct StatusReport
{
    QString position;     // Label4: the value of columns 3-6, e.g. "16"
    QString stack;        // Label5: columns 7-10
    QString loop;         // Label6: columns 11-14
    QString currentLine;  // columns 19-24 minus one, decimal
    QString mode;         // "Running", "Paused" or "Stopped"
    QString notification; // the notification text, or empty: leave the label as it is
    int statusBits = 0;   // columns 15-16
    int notificationCode = 0;
};

inline constexpr char kModeRunning[] = "Running";
inline constexpr char kModePaused[] = "Paused";
inline constexpr char kModeStopped[] = "Stopped";
inline constexpr char kNoNotification[] = "0 - No errors";

// Decodes the first 24 characters of what a monitor read brought. Nothing
// when fewer than 24 arrived, when they do not begin with "AB", or when a
// numeric field holds anything but hex digits: such a read is ignored whole.
std::optional<StatusReport> decodeStatusReport(const QString &raw);

// The notification label's text for a code: "0 - No errors", or the code and
// its text two blanks apart; empty for codes the board does not define.
QString notificationText(int code);

// The monitor loop: while `monitoring` is set, read a report (up to 6 link
// seconds) and hand each decoded one to `show`. Ends when a read brings fewer
// than 24 characters or `monitoring` is cleared. Reads that are not reports
// are skipped. Returns the number of reports shown.
int runStatusMonitor(Link &link, const std::function<void(const StatusReport &)> &show);

} // namespace pvelm
