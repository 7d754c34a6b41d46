#pragma once

#include "compiler/labeltable.h"
#include "compiler/sourcemap.h"
#include "compiler/textfiles.h"

#include <functional>
#include <string>

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

namespace pvelm::compiler {

// The message shown once for every pass (and for the page merge) that fails;
// the element address reached is appended in decimal.
inline constexpr char kFailureMessage[] = "Processing Error or Canot open Velm or temp File Line#:";

// Appended to the source line when a jump names a label nobody defined.
inline constexpr char kCannotLocateLabel[] = "  >> Cannot Locate Label  ";

inline constexpr int kPageDigits = 528;     // 16 elements of 32 digits, 16 filler digits
inline constexpr int kPageLineLength = 533; // 5-digit page number + page digits
inline constexpr qint64 kMaxNumber = 2147483647;

// Default paths of the work files; the window and velm use these unless told
// otherwise.
inline constexpr char kDefaultPremergedPath[] = "c:\\Corvane\\premerged.tmp";
inline constexpr char kDefaultFixupPath[] = "c:\\Corvane\\fixup.tmp";
inline constexpr char kDefaultFixup1Path[] = "c:\\Corvane\\fixup1.tmp";

// The seven counters the window shows beside its labels.
struct Counters
{
    int goodlines = 0;
    int errorbumper = 0;
    int blanklines = 0;
    int callcount = 0;
    int returncount = 0;
    int docount = 0;
    int loopcount = 0;
};

// One statement error of the last pass: the 1-based source line and what
// was wrong. There is exactly one per step of `errorbumper`.
struct Diagnostic
{
    qint64 sourceLine = 0;
    QString text;
};

// The three paths the window's text boxes hold; read at the start of each
// pass, so an edit between compiles takes effect at the next one.
struct PassPaths
{
    QString source;
    QString premerged = QString::fromLatin1(kDefaultPremergedPath);
    QString list;
};

// What translating one source line came to.
struct Outcome
{
    enum Kind { Blank, Ignored, Placeholder, Stored, LabelDefined, AddressChange, Failed };
    Kind kind = Blank;
    QByteArray element; // Stored: 32 hex digits
    QByteArray listing; // Stored and Placeholder: the text after the line number
    QByteArray digits;  // AddressChange: the digits as written
    qint64 address = 0; // AddressChange: their value
    QString failure;    // Failed: why the pass cannot go on
};

// The script compiler: two translation passes over a VelmScript file, then
// the page merge that writes the temp hex file. Works on files only; a window
// or the command line supplies paths and shows what it reports.
//
// A window drives it like this:
//   at load:   setTempHexPath(settings column 200 path); setMergePaths(...)
//   on click:  disable both buttons; setPathProvider(read the three boxes);
//              setFailureHandler(show one message box); compile();
//              write counters() into the seven labels and echo() into output1;
//              enable both buttons.
class Compiler
{
public:
    Compiler();

    // Fixed for the life of the window (read once at its load).
    void setTempHexPath(const QString &path) { m_tempHexPath = path; }
    QString tempHexPath() const { return m_tempHexPath; }
    void setMergePaths(const QString &fixup, const QString &fixup1);

    // Called at the start of each pass for the current paths.
    void setPathProvider(std::function<PassPaths()> provider) { m_pathProvider = std::move(provider); }
    // Called once for every failed pass and for a failed merge, with the
    // full message text, at the moment of the failure.
    void setFailureHandler(std::function<void(const QString &message)> handler)
    {
        m_failureHandler = std::move(handler);
    }

    // The whole compile: clears the label table, runs both passes and the
    // merge. True when nothing failed (statement errors are not failures).
    bool compile();

    // One pass over the source file; false when it failed (already reported).
    bool translationPass(int passNumber);

    // ---- the pieces of a pass, public for the window's tests and ours ----
    // Resets the compile state as at the start of pass n. Output goes to
    // memory until a pass opens its files (listOutput(), premergedOutput()).
    void beginPass(int passNumber);
    // Echo, translate and carry out one source line; false on a failure.
    bool processLine(const QByteArray &rawLine);
    // Translates rawLine() into an outcome without carrying it out.
    Outcome translateStatement();
    void setRawLine(const QByteArray &line) { m_rawLine = line; }
    void resetPageBuffer();
    void flushPage();
    void reportLineIgnored();
    void writeReport();

    // ---- state ---------------------------------------------------------
    int passNumber() const { return m_passNumber; }
    QByteArray lineNumberText() const { return m_lineText; }
    qint64 lineNumber() const { return m_lineValue; }
    qint64 pageNumber() const { return m_pageNumber; }
    int slotIndex() const { return m_slotIndex; }
    const QByteArray &pageBuffer() const { return m_pageBuffer; }
    bool pageUntouched() const { return m_pageUntouched; }
    const QByteArray &rawLine() const { return m_rawLine; }
    const Counters &counters() const { return m_counters; }
    const LabelTable &labels() const { return m_labels; }
    LabelTable &labels() { return m_labels; }
    int labelCount() const { return m_labelCount; }

    // The source lines of the last pass, each followed by CR LF (output1).
    const QByteArray &echo() const { return m_echo; }
    // Statement errors of the last pass.
    const QList<Diagnostic> &diagnostics() const { return m_diagnostics; }
    // The failure messages of the last compile, in order, and for each the
    // reason the core found (for the command line; the window shows only
    // the message).
    const QStringList &failures() const { return m_failures; }
    const QStringList &failureReasons() const { return m_failureReasons; }
    // Whether the last pass ran to its report (the list file then ends in it).
    bool lastPassCompleted() const { return m_lastPassCompleted; }
    // Which source line wrote each program line in the last pass.
    const SourceLineMap &sourceLines() const { return m_sourceLines; }

    // What a pass wrote since beginPass, when no file was open.
    QByteArray listOutput() const { return m_list.pending(); }
    QByteArray premergedOutput() const { return m_premerged.pending(); }

    // The report's six lines, without line ends.
    QList<QByteArray> reportLines() const;

private:
    // What the current line came to. The buffers live as long as the
    // compiler and are reused for every line, so a line costs no allocation.
    struct Translation
    {
        Outcome::Kind kind = Outcome::Blank;
        char element[32] = {};
        std::string listing;
        QByteArrayView digits; // AddressChange: into m_cleaned
        qint64 address = 0;
        QString failure;
    };

    // Translates rawLine() into m_tr.
    Outcome::Kind translate();
    Outcome::Kind stored();
    Outcome::Kind fail(const QString &why);
    void error(const QString &why);
    Outcome::Kind ignored(const QString &why);
    Outcome::Kind placeholder(const QString &why);
    Outcome::Kind ignoredPlaceholder(const QString &why);
    void softError(const QString &why);

    Outcome::Kind addressStatement(QByteArrayView line);
    Outcome::Kind moveStatement(QByteArrayView line);
    Outcome::Kind servoTableStatement(QByteArrayView line, int keywordLength, QByteArrayView title);
    Outcome::Kind countedStatement(QByteArrayView line, int keywordLength, const char *tmpl, int width,
                                   QByteArrayView before, QByteArrayView after, int *counter);
    Outcome::Kind jumpStatement(QByteArrayView line, int keywordLength, const char *tmpl, QByteArrayView title,
                                int *counter);
    Outcome::Kind outputStatement(QByteArrayView line);
    Outcome::Kind markerStatement(QByteArrayView line);
    Outcome::Kind ifInputStatement(QByteArrayView line);
    Outcome::Kind registerStatement(QByteArrayView line, bool *matched);
    Outcome::Kind labelStatement(QByteArrayView line);
    Outcome::Kind labelNotFound(QByteArrayView name);

    bool place(Outcome::Kind kind);
    void reportFailure(const QString &reason);

    // Why a compile stopped before it wrote anything: an output that is
    // the source file, or a source that is no script (too large, not 8-bit
    // text). Reported once, with its own message instead of the fixed one.
    enum class Refusal { None, SameFile, Source };
    void refuse(Refusal kind, const QString &message);
    // The refusal message when an output or work file is the source file.
    QString outputNamingSource() const;

    // Set for the life of the window.
    QString m_tempHexPath;
    QString m_fixupPath;
    QString m_fixup1Path;
    std::function<PassPaths()> m_pathProvider;
    std::function<void(const QString &)> m_failureHandler;

    // Compile state.
    int m_passNumber = 1;
    QByteArray m_lineText = "0"; // as written after ADDRESS, plain decimal after an increment
    bool m_lineTextPlain = true; // m_lineText is m_lineValue without leading zeros
    qint64 m_lineValue = 0;
    qint64 m_pageNumber = 0;
    int m_slotIndex = 0;
    QByteArray m_pageBuffer;
    bool m_pageUntouched = true;
    QByteArray m_rawLine;
    std::string m_cleanBuffer;
    QByteArrayView m_cleaned; // the current line cleaned, in m_cleanBuffer
    Translation m_tr;
    qint64 m_sourceLine = 0;
    Counters m_counters;
    LabelTable m_labels;
    int m_labelCount = 0;
    SourceLineMap m_sourceLines;

    QByteArray m_echo;
    QList<Diagnostic> m_diagnostics;
    QStringList m_failures;
    QStringList m_failureReasons;
    PassPaths m_passPaths;
    bool m_premergedCreated = false; // by the second pass of this compile
    bool m_lastPassCompleted = false;
    Refusal m_refused = Refusal::None;

    LineWriter m_list;
    LineWriter m_premerged;
};

// Cleaning of a source line: blanks, commas and tabs removed, letters in
// upper case, a "/" comment cut off.
QByteArray cleanLine(const QByteArray &raw);
void cleanLineInto(const QByteArray &raw, QByteArray &line);

} // namespace pvelm::compiler
