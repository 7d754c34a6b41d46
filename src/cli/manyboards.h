#pragma once

#include "cli/cli.h"

#include <optional>

// One velm command served to several boards at once: every board gets a velm
// of its own (this program, run again with one --port), so a board that hangs,
// fails or takes the process down cannot hold up or harm another; this
// process shows one line of progress per board, then the summary or JSON.
namespace pvelm::cli {

struct ManyBoards
{
    const Command *command = nullptr;
    QStringList ports; // as given, in order; for --simulate or the settings' port just its name
    // The options that choose each board's port, when not "--port PORT":
    // --simulate, or nothing for the settings' port.
    std::optional<QStringList> portOptions;
    QHash<QString, QString> options;
    QStringList args;
    std::optional<QString> trace; // --trace as given: one file per board
    bool json = false;
};

// Whether the command may be given several ports (and --json).
bool servesManyBoards(const Command &command);

// A port's name as it goes into a file name: "/dev/ttyUSB0" gives "ttyUSB0",
// "socket://host:4000" "host_4000", "COM3" "COM3".
QString portTag(const QString &port);
// FILE with the tag inserted before its extension ("save.fla" and ttyUSB0
// give "save-ttyUSB0.fla"); Windows and host paths alike.
QString taggedFile(const QString &file, const QString &port);

// The ports of a --ports file: one a line, blanks around it dropped, empty
// lines and lines starting with "#" skipped. An error text when the file
// cannot be read.
QStringList readPortsFile(const QString &path, QString *error);

// A usage problem of the run (the same port twice, two ports giving one file
// name), or empty.
QString checkManyBoards(const ManyBoards &run);
// Runs the command on every port; the exit status is the highest of the
// boards' statuses.
int runManyBoards(const ManyBoards &run);

// A velm serving one board of many reports its progress to the velm that
// started it as lines on standard error: "velm-progress DONE TOTAL MSLEFT
// PAGE". Set in that velm's environment.
inline constexpr char kBoardProgressVariable[] = "VELM_BOARD_PROGRESS";
inline constexpr char kBoardProgressPrefix[] = "velm-progress ";
bool reportsBoardProgress();

} // namespace pvelm::cli
