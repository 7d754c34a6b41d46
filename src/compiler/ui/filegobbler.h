#pragma once

#include "app/ui/toolwindow.h"
#include "compiler/compiler.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace pvelm {

class Link;
class SettingsRecord;

// "Velm Converter & Downloader": compiles the VelmScript file into the temp
// hex file and the list file, and (later) writes the temp hex file to flash.
// The compile itself is pvelm::compiler::Compiler; this window only hands it
// the three paths in its boxes and shows the counters and the echo.
class filegobbler : public ToolWindow
{
    Q_OBJECT

public:
    // The settings record is the main window's; the window reads its paths
    // at load (and the download will read the temp file path anew each time).
    filegobbler(Link &link, const SettingsRecord &settings, QWidget *parent);

    // Window load: paths from the settings record, the fixed work file paths.
    // The temp hex and merge paths are taken here once and kept until the
    // window closes, whatever the settings say later.
    void Form_Load();
    // The whole compile: both passes and the merge, both buttons disabled
    // while it runs, one message per failed pass.
    void Readvelm_Click();

    void disableFileButtons();
    void enableFileButtons();

    // Whether "Write to Flash" does anything yet. Until the download is
    // built, enableFileButtons leaves the button disabled.
    static constexpr bool kDownloadAvailable = false;

    const compiler::Compiler &compiler() const { return m_compiler; }

private:
    compiler::PassPaths currentPaths() const;
    void showCounters();

    [[maybe_unused]] Link &m_link; // the download's, once it exists
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
    QPlainTextEdit *m_output1;
    QPushButton *m_toflash;
};

} // namespace pvelm
