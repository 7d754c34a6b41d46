#pragma once

#include "compiler/compiler.h"
#include "compiler/ui/scripteditor.h"
#include "ui/toolwindow.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace pvelm {

class Link;
class SettingsRecord;
class TransferPanel;
class ScriptEditor;

// "Velm Converter & Downloader": compiles the VelmScript file into the temp
// hex file and the list file, and writes the temp hex file to flash. The
// compile itself is pvelm::compiler::Compiler and the download
// pvelm::flash::writePageFile; this window hands them their paths and shows
// what they report.
class filegobbler : public ToolWindow
{
    Q_OBJECT

public:
    // The settings record is the main window's; the window reads its paths
    // at load, and the download reads the temp file path anew each time.
    filegobbler(Link &link, const SettingsRecord &settings, QWidget *parent);

    // Window load: paths from the settings record, the fixed work file paths.
    // The temp hex and merge paths are taken here once and kept until the
    // window closes, whatever the settings say later.
    void Form_Load();
    // The whole compile: both passes and the merge, both buttons disabled
    // while it runs, one message per failed pass.
    void Readvelm_Click();

    // The download: every line of the temp hex file to the board, with
    // Flashindicator BUSY, then OK or FAIL, and "Error writing controller"
    // once on failure.
    void toflash_Click();

    // Opens the script editor on the file named in SourceFile. An editor
    // open on another file is closed first (it asks about unsaved changes).
    void editscript_Click();
    ScriptEditor *scriptEditor() const;
    // What the main window lends the script editor (run commands, the
    // servos' pose); the next editor opened gets it.
    void setBoard(ScriptEditor::Board board) { m_board = std::move(board); }

    void disableFileButtons();
    void enableFileButtons();

    const compiler::Compiler &compiler() const { return m_compiler; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    compiler::PassPaths currentPaths() const;
    void showCounters();
    void setIndicator(const QString &caption, const QColor &background);

    Link &m_link;
    const SettingsRecord &m_settings;
    compiler::Compiler m_compiler;

    QPushButton *m_readvelm;
    QLineEdit *m_sourceFile;
    QLineEdit *m_tempfile;
    QLineEdit *m_listfile;
    QLabel *m_goodlines;
    QLabel *m_errorbumper;
    QLabel *m_blanklines;
    QLabel *m_callcount;
    QLabel *m_returncount;
    QLabel *m_docount;
    QLabel *m_loopcount;
    QPlainTextEdit *m_sourceEcho;
    QPushButton *m_toflash;
    QLineEdit *m_writingPage;
    QLabel *m_flashindicator;
    TransferPanel *m_transfer;
    QPushButton *m_editscript;
    WindowSlot<ScriptEditor> m_editor;
    ScriptEditor::Board m_board;
};

} // namespace pvelm
