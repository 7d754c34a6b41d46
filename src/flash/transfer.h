#pragma once

#include <functional>

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

namespace pvelm {
class Link;
}

// The long flash operations: writing a file of page lines into the board
// (the program download and the flash utility's file write) and saving a
// range of pages into a flash file. Each holds the link from its first
// exchange to its last, reports every page to its caller, and can be
// cancelled between pages. The windows and velm drive the same functions.
namespace pvelm::flash {

// The download's one failure message.
inline constexpr char kFlashWriteError[] = "Error writing controller";

// Where an operation stands, for a progress bar and the time left.
struct Progress
{
    int done = 0;  // pages finished
    int total = 0; // pages in the operation
    qint64 elapsedMs = 0;
    // Time left from the average page so far; -1 before the first page.
    qint64 remainingMs() const;
};

// "2:05", "0:07" or "" when not known yet.
QString formatRemaining(qint64 ms);

// What a download cancelled after `page` (the last page written) says, in
// the window and from velm alike: the board now holds part of the program.
QString cancelledMessage(int page);

struct TransferHooks
{
    // Before a page goes out (write) or is asked for (save): the page line
    // about to be written, or the five-digit page number to be read.
    std::function<void(const QString &lineOrPage)> pageStarting;
    // After a page was read (save): the page text the board sent.
    std::function<void(const QString &pageText)> pageRead;
    // After every page.
    std::function<void(const Progress &)> progress;
    // Asked after every page; true ends the operation there.
    std::function<bool()> cancelled;
};

enum class Outcome {
    Done,
    Failed,    // a page was not written or read, or the last reply was not "OV0OK"
    Cancelled, // stopped by the operator after a page
    FileError, // the file cannot be read or written
    Refused,   // the link is busy or held by another operation
};

struct TransferResult
{
    Outcome outcome = Outcome::Done;
    int done = 0;     // pages written or saved
    int total = 0;    // pages in the file or range
    QString stopPage; // the five-digit page number where it stopped
    // One line for the operator: what happened, where, and why.
    QString detail;
    QString code;        // Failed: the link's code when it stopped
    int firstSaved = -1; // save: the pages the file (or FILE.partial) now holds (none: -1)
    int lastSaved = -1;

    bool ok() const { return outcome == Outcome::Done; }
};

// Whether the reply to the last line must begin "OV0OK": the download's
// check. The flash utility's file write does not judge the replies.
enum class LastReply { MustBeOk, NotJudged };

// Writes every line of the file at hostPath, in file order, each with one
// page-write exchange, exactly as the lines stand. linkTimedOut is cleared
// first; the write stops at the first line that is not delivered. At the
// end, with LastReply::MustBeOk, the reply to the last line must begin
// "OV0OK" (for an empty file the reply the link holds from its last exchange
// decides, as on the original console).
TransferResult writePageFile(Link &link, const QString &hostPath, const TransferHooks &hooks = {},
                             LastReply last = LastReply::MustBeOk);
// The same for lines already read.
TransferResult writePageLines(Link &link, const QStringList &lines, const TransferHooks &hooks = {},
                              LastReply last = LastReply::MustBeOk);

// Where a save that stopped early puts the pages it read.
enum class PartialSave {
    InFile,   // in the file itself, replacing it (the window)
    BesideIt, // in FILE.partial; the file stays as it was (velm)
};

// The file a save that stopped early leaves beside the one named.
QString partialPath(const QString &hostPath);

// Reads pages start..end (the range must be accepted: see rangeAccepted)
// into a flash file at hostPath. The file is written through a temporary
// file and renamed, so an existing file is replaced whole or not at all.
// A page that does not read stops the save: the pages before it then go
// where `partial` says (nothing is written when the first page failed).
TransferResult saveFlashRange(Link &link, int start, int end, const QString &hostPath, const TransferHooks &hooks = {},
                              PartialSave partial = PartialSave::InFile);

} // namespace pvelm::flash
