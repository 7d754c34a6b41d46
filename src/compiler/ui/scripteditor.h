#pragma once

#include "ui/toolwindow.h"

#include <functional>

#include <QPlainTextEdit>
#include <QSet>
#include <QSyntaxHighlighter>

class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace pvelm {

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

    // Puts the cursor at the start of a 1-based line and brings it into view.
    void goToLine(int line);
    // Scrolls, without moving the cursor, until the 1-based line shows.
    void keepInView(int line);
    // The 1-based lines fully visible now (first, last).
    QPair<int, int> visibleLines() const;

    int marginWidth() const;
    void paintMargin(QPaintEvent *event);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void updateMargin(const QRect &rect, int dy);
    void showRunningLine();

    QWidget *m_margin;
    QSet<int> m_reported;
    int m_running = 0;
};

// "VelmScript Editor": the source file of the converter window, with line
// numbers, colouring, find, save and "Compile". Compile saves first and then
// runs the converter's own compile ("Read Velm File"); the report's errors
// and warnings are listed under the text and a click on one goes to its
// line. While the status monitor runs, the source line behind the board's
// current program line is highlighted and kept in view.
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
    };

    ScriptEditor(const QString &hostPath, Converter converter, QWidget *parent);

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
    void showReport();
    void followBoard(qint64 programLine);
    void say(const QString &message);
    void updateTitle();

    QString m_path;
    Converter m_converter;
    bool m_readable = true;
    ScriptText *m_text;
    QPushButton *m_save;
    QPushButton *m_compile;
    QLineEdit *m_find;
    QPushButton *m_findNext;
    QLabel *m_message;
    QLabel *m_boardLine;
    QListWidget *m_diagnostics;
};

} // namespace pvelm
