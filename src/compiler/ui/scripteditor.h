#pragma once

#include "ui/toolwindow.h"

#include <functional>
#include <optional>
#include <vector>

#include <QPlainTextEdit>
#include <QSet>
#include <QSyntaxHighlighter>

class QAction;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace pvelm {

class Link;
class TransferPanel;

namespace compiler {
class Compiler;
}

// The script as the compiler reads it: keywords, numbers, labels, comments,
// and lines the compiler would ignore.
class ScriptHighlighter : public QSyntaxHighlighter
{
    Q_OBJECT

public:
    explicit ScriptHighlighter(QTextDocument *document);

protected:
    void highlightBlock(const QString &text) override;
};

// The text of the script with line numbers in a margin on its left. The
// margin marks the lines the last compile reported on and the line behind
// the board's current program line.
class ScriptText : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit ScriptText(QWidget *parent = nullptr);

    // Replaces the whole text with a new, coloured document.
    void setScript(const QString &text);

    // 1-based source lines.
    void setReportedLines(const QSet<int> &lines);
    const QSet<int> &reportedLines() const { return m_reported; }
    // 0 for none.
    void setRunningLine(int line);
    int runningLine() const { return m_running; }
    // The second gutter: indexed by 1-based source line, the program line
    // that line wrote in the last compile, or -1 (empty: no gutter).
    void setProgramLines(std::vector<qint32> lines);
    // The program line beside a 1-based source line, or -1.
    qint64 programLine(int sourceLine) const;

    // Puts the cursor at the start of a 1-based line and brings it into view.
    void goToLine(int line);
    // Scrolls, without moving the cursor, until the 1-based line shows.
    void keepInView(int line);
    // The 1-based lines fully visible now (first, last).
    QPair<int, int> visibleLines() const;

    int marginWidth() const;
    int programGutterWidth() const;
    void paintMargin(QPaintEvent *event);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void updateMargin(const QRect &rect, int dy);
    void showRunningLine();

    QWidget *m_margin;
    QSet<int> m_reported;
    int m_running = 0;
    std::vector<qint32> m_programLines;
};

// "VelmScript Editor", the workbench: the source file of the converter
// window, with line numbers, the program line each source line writes,
// colouring, find, and the daily loop on a toolbar, a menu and keys: Save,
// Compile, Download, Run, Pause, Stop, Run from Cursor and Insert Pose.
// Compile saves first and then runs the converter's own compile ("Read Velm
// File"); the report's errors, failures and warnings are listed under the
// text and a click on one goes to its line. Download and Run compile first
// when the text changed since the last compile, and ask before sending a
// program with errors. While the status monitor runs, the source line
// behind the board's current program line is highlighted and kept in view,
// and the status bar shows the board's mode, line and notification.
//
// Unsaved changes are never lost: closing this window, the converter window
// or the main window asks first.
class ScriptEditor : public ToolWindow
{
    Q_OBJECT

public:
    struct Converter
    {
        const compiler::Compiler *compiler = nullptr;
        // The converter's compile, exactly as its button runs it.
        std::function<void()> compile;
        // The host path of the file the converter compiles now.
        std::function<QString()> sourcePath;
        // The download: the link it goes over and the host path of the temp
        // hex file it sends (the one "Write to Flash" sends). No link: no
        // download.
        Link *link = nullptr;
        std::function<QString()> downloadPath;
    };

    // What the main window lends the workbench. Any of them may be empty:
    // the action then says it cannot be done here.
    struct Board
    {
        // Sends the run from a program line and follows the board's status
        // reports with the main window's monitor; returns when they stop.
        std::function<void(quint32 line)> run;
        std::function<void()> pause;
        std::function<void()> stop;
        // Reads the servos' current positions and returns the POSITION line
        // for the servos in use; empty, with the reason in *why, when there
        // is nothing to insert.
        std::function<QString(QString *why)> pose;
    };

    ScriptEditor(const QString &hostPath, Converter converter, QWidget *parent, Board board = {});

    QString path() const { return m_path; }
    bool isModified() const;

    // Loads the file; a missing file starts an empty script that the first
    // save creates. False when it exists but cannot be read.
    bool load();
    // Writes the whole script through a temporary file renamed over the old
    // one. False (with the reason in the message field) when nothing was
    // written.
    bool save();
    // Saves when there are changes, then runs the converter's compile and
    // lists its report.
    void Compile_Click();
    void Save_Click() { save(); }
    // Compiles when the text changed since the last compile here, then
    // sends the temp hex file (asking first when the compile had errors).
    // True when the board now holds this compile's program.
    bool Download_Click();
    // Compiles and downloads as needed, then runs from line 0 / from the
    // program line the cursor's source line wrote.
    void Run_Click();
    void RunFromCursor_Click();
    void Pause_Click();
    void Stop_Click();
    // Inserts the servos' current pose as a POSITION line at the cursor.
    void InsertPose_Click();
    void findNext_Click();
    void diagnostics_itemActivated(QListWidgetItem *item);

    // Asks about unsaved changes. False when the operator cancelled or the
    // save failed: whatever was closing must stay open.
    bool maybeSave();

    ScriptText *text() const { return m_text; }

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    template <typename Handler> QAction *makeAction(const QString &name, const QKeySequence &key, Handler handler);
    void showReport();
    void followBoard(qint64 programLine);
    void say(const QString &message);
    void updateTitle();
    // Compiles unless the last compile here was of this very text. False
    // when there is no usable compile of it.
    bool compileIfChanged();
    // The question about a compile with errors; true to go on.
    bool errorsAccepted();
    bool downloadCompiled();
    QByteArray compiledProgram() const;
    void runFrom(std::optional<int> sourceLine);
    void setBusy(bool busy);

    QString m_path;
    Converter m_converter;
    Board m_board;
    bool m_readable = true;
    bool m_busy = false;
    // The last compile started here: its text and whether it made a program.
    std::optional<QString> m_compiledText;
    bool m_compileMadeProgram = false;
    // The temp hex content of the last download from here that the board
    // confirmed, in this session: the board's program is "this one" while
    // the temp hex file still holds it.
    QByteArray m_downloadedHash;
    ScriptText *m_text;
    QList<QAction *> m_actions;
    QAction *m_save;
    QAction *m_compile;
    QLineEdit *m_find;
    QPushButton *m_findNext;
    QLabel *m_message;
    QLabel *m_boardLine;
    QLabel *m_boardState;
    TransferPanel *m_transfer;
    QListWidget *m_diagnostics;
};

} // namespace pvelm
