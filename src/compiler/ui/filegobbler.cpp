#include "compiler/ui/filegobbler.h"

#include "compiler/ui/scripteditor.h"
#include "flash/transfer.h"
#include "flash/ui/transferpanel.h"
#include "link/link.h"
#include "settings/hostpaths.h"
#include "settings/settings.h"
#include "ui/controls.h"
#include "ui/messages.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace pvelm {

namespace {

// A path box; assistive technology names it by its frame's caption.
QLineEdit *pathBox(const char *name, const QString &frameCaption)
{
    auto *box = new QLineEdit;
    box->setObjectName(QString::fromLatin1(name));
    box->setAccessibleName(frameCaption);
    return box;
}

// One counter: its caption (leading blanks and all) and the value label.
QLabel *addCounter(QGridLayout *grid, int row, int column, const char *name, const QString &caption)
{
    auto *title = new QLabel(caption);
    title->setTextFormat(Qt::PlainText);
    title->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Room for the largest count a script can reach (32768 lines).
    auto *value = valueLabel(name, QStringLiteral("0"), caption.trimmed(), 6);
    value->setTextFormat(Qt::PlainText);
    grid->addWidget(title, row, column);
    grid->addWidget(value, row, column + 1);
    return value;
}

} // namespace

filegobbler::filegobbler(Link &link, const SettingsRecord &settings, QWidget *parent)
    : ToolWindow(parent), m_link(link), m_settings(settings)
{
    setObjectName(QStringLiteral("filegobbler"));
    setWindowTitle(QStringLiteral("Velm Converter & Downloader"));

    m_readvelm = new QPushButton(QStringLiteral("Read Velm File"));
    m_readvelm->setObjectName(QStringLiteral("Readvelm"));
    auto *explanation = new QLabel(QStringLiteral("Read in Velm file and convert to temporary hex file for download."));
    explanation->setWordWrap(true);
    auto *convert = new QGroupBox(QStringLiteral("Convert Velm file to HEX"));
    auto *convertLayout = new QHBoxLayout(convert);
    convertLayout->addWidget(m_readvelm);
    convertLayout->addWidget(explanation, 1);
    m_editscript = new QPushButton(QStringLiteral("Edit Script"));
    m_editscript->setObjectName(QStringLiteral("editscript"));
    convertLayout->addWidget(m_editscript);

    const QString sourceCaption = QStringLiteral("Source path and file  (32 chars max)");
    const QString tempCaption = QStringLiteral("Temporary file and path");
    const QString listCaption = QStringLiteral("List file and path");
    m_sourceFile = pathBox("SourceFile", sourceCaption);
    m_tempfile = pathBox("tempfile", tempCaption);
    m_listfile = pathBox("Listfile", listCaption);

    auto *counters = new QGridLayout;
    m_goodlines = addCounter(counters, 0, 0, "goodlines", QStringLiteral("Lines converted:"));
    m_errorbumper = addCounter(counters, 1, 0, "errorbumper", QStringLiteral("Errors / Warnings:"));
    m_blanklines = addCounter(counters, 2, 0, "blanklines", QStringLiteral("Lines with no data:"));
    m_callcount = addCounter(counters, 0, 2, "callcount", QStringLiteral("    Number of calls:"));
    m_returncount = addCounter(counters, 1, 2, "returncount", QStringLiteral("Number of retunrs:"));
    m_docount = addCounter(counters, 2, 2, "docount", QStringLiteral("             Do count:"));
    m_loopcount = addCounter(counters, 3, 2, "loopcount", QStringLiteral("  Loop count:"));
    counters->setColumnStretch(4, 1);

    // The echo of the source lines; a fixed font keeps the script's own
    // alignment, and no wrapping keeps one source line to one row.
    m_sourceEcho = new QPlainTextEdit;
    m_sourceEcho->setObjectName(QStringLiteral("output1"));
    m_sourceEcho->setAccessibleName(QStringLiteral("Source lines read"));
    m_sourceEcho->setReadOnly(true);
    m_sourceEcho->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_sourceEcho->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    // The download: the button, the page in transfer, the indicator, and
    // the progress of the whole file.
    m_toflash = new QPushButton(QStringLiteral("Write to Flash"));
    m_toflash->setObjectName(QStringLiteral("toflash"));
    auto *writingPage = new QLabel(QStringLiteral("Writing page:"));
    m_writingPage = new QLineEdit;
    m_writingPage->setObjectName(QStringLiteral("Text1"));
    m_writingPage->setReadOnly(true);
    m_writingPage->setMaximumWidth(m_writingPage->fontMetrics().horizontalAdvance(QStringLiteral("0000000000")));
    writingPage->setBuddy(m_writingPage);
    m_writingPage->setAccessibleName(QStringLiteral("Writing page:"));
    m_flashindicator = new QLabel(QStringLiteral("OK"));
    m_flashindicator->setObjectName(QStringLiteral("Flashindicator"));
    m_flashindicator->setAccessibleDescription(QStringLiteral("Download state"));
    m_flashindicator->setAlignment(Qt::AlignCenter);
    m_flashindicator->setMinimumWidth(m_flashindicator->fontMetrics().horizontalAdvance(QStringLiteral("  BUSY  ")));
    m_transfer = new TransferPanel;
    auto *download = new QGroupBox(QStringLiteral("Write temp file to flash"));
    auto *downloadLayout = new QGridLayout(download);
    downloadLayout->addWidget(m_toflash, 0, 0);
    downloadLayout->addWidget(writingPage, 0, 1);
    downloadLayout->addWidget(m_writingPage, 0, 2);
    downloadLayout->addWidget(m_flashindicator, 0, 3);
    downloadLayout->setColumnStretch(4, 1);
    downloadLayout->addWidget(m_transfer, 1, 0, 1, 5);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(convert);
    layout->addWidget(frame(sourceCaption, m_sourceFile));
    layout->addWidget(frame(tempCaption, m_tempfile));
    layout->addWidget(frame(listCaption, m_listfile));
    layout->addLayout(counters);
    layout->addWidget(m_sourceEcho, 1);
    layout->addWidget(download);

    // The paths are asked for at the start of each pass, so an edit between
    // compiles counts from the next compile on.
    m_compiler.setPathProvider([this] { return currentPaths(); });
    m_compiler.setFailureHandler([this](const QString &message) { showMessage(this, message); });

    connect(m_readvelm, &QPushButton::clicked, this, &filegobbler::Readvelm_Click);
    connect(m_toflash, &QPushButton::clicked, this, &filegobbler::toflash_Click);
    connect(m_editscript, &QPushButton::clicked, this, &filegobbler::editscript_Click);

    resize(600, 700);
    Form_Load();
}

void filegobbler::Form_Load()
{
    m_sourceEcho->clear();
    m_sourceFile->setText(m_settings.path(SettingsRecord::kScriptPathColumn));
    m_tempfile->setText(QString::fromLatin1(compiler::kDefaultPremergedPath));
    m_listfile->setText(m_settings.path(SettingsRecord::kListPathColumn));
    m_compiler.setMergePaths(QString::fromLatin1(compiler::kDefaultFixupPath),
                             QString::fromLatin1(compiler::kDefaultFixup1Path));
    m_compiler.setTempHexPath(m_settings.path(SettingsRecord::kTempHexPathColumn));
    m_compiler.labels().clear();
}

compiler::PassPaths filegobbler::currentPaths() const
{
    return {hostpaths::toHost(m_sourceFile->text()), hostpaths::toHost(m_tempfile->text()),
            hostpaths::toHost(m_listfile->text())};
}

void filegobbler::Readvelm_Click()
{
    // The compile does not pump events, but every handler holds a guard so
    // that closing the window never deletes it under a running handler.
    HandlerGuard guard(this);
    disableFileButtons();
    m_compiler.compile();
    showCounters();
    // The document keeps lines, not line ends: one row per source line.
    QString echo = QString::fromLatin1(m_compiler.echo());
    echo.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    m_sourceEcho->setPlainText(echo);
    enableFileButtons();
}

void filegobbler::editscript_Click()
{
    const QString path = QFileInfo(currentPaths().source).absoluteFilePath();
    if (ScriptEditor *open = m_editor.window(); open && open->path() != path && !open->close())
        return; // the operator kept the other file open
    m_editor.show([this, path] {
        ScriptEditor::Converter converter;
        converter.compiler = &m_compiler;
        converter.compile = [this] { Readvelm_Click(); };
        converter.sourcePath = [this] { return currentPaths().source; };
        // The editor's download sends what "Write to Flash" sends.
        converter.link = &m_link;
        converter.downloadPath = [this] {
            return hostpaths::toHost(m_settings.path(SettingsRecord::kTempHexPathColumn));
        };
        return new ScriptEditor(path, std::move(converter), this, m_board);
    });
}

ScriptEditor *filegobbler::scriptEditor() const
{
    return m_editor.window();
}

void filegobbler::showCounters()
{
    const compiler::Counters &c = m_compiler.counters();
    m_goodlines->setText(QString::number(c.goodlines));
    m_errorbumper->setText(QString::number(c.errorbumper));
    m_blanklines->setText(QString::number(c.blanklines));
    m_callcount->setText(QString::number(c.callcount));
    m_returncount->setText(QString::number(c.returncount));
    m_docount->setText(QString::number(c.docount));
    m_loopcount->setText(QString::number(c.loopcount));
}

void filegobbler::toflash_Click()
{
    HandlerGuard guard(this);
    disableFileButtons();
    const QColor lightRed(255, 128, 128);
    setIndicator(QStringLiteral("BUSY"), lightRed);
    const QString path = m_settings.path(SettingsRecord::kTempHexPathColumn);
    flash::TransferHooks hooks;
    hooks.pageStarting = [this](const QString &line) { m_writingPage->setText(line.left(5)); };
    const flash::TransferResult result =
        flash::writePageFile(m_link, hostpaths::toHost(path), m_transfer->begin(std::move(hooks)));
    if (result.ok()) {
        setIndicator(QStringLiteral("OK"), QColor(128, 255, 128));
    } else {
        // The operator closing the console ends the download: no box then.
        if (!m_link.isStopped()) {
            if (result.outcome == flash::Outcome::Failed)
                showMessage(this, QString::fromLatin1(flash::kFlashWriteError));
            else if (result.outcome != flash::Outcome::Cancelled)
                showMessage(this, result.outcome == flash::Outcome::FileError
                                      ? QStringLiteral("The download did not start: %1").arg(result.detail)
                                      : result.detail);
        }
        setIndicator(QStringLiteral("FAIL"), lightRed);
    }
    m_transfer->end(result.detail);
    enableFileButtons();
}

void filegobbler::setIndicator(const QString &caption, const QColor &background)
{
    m_flashindicator->setText(caption);
    QPalette palette = m_flashindicator->palette();
    palette.setColor(QPalette::Window, background);
    m_flashindicator->setPalette(palette);
    m_flashindicator->setAutoFillBackground(true);
}

void filegobbler::closeEvent(QCloseEvent *event)
{
    // A download in progress ends after the page in transfer.
    m_transfer->requestCancel();
    ToolWindow::closeEvent(event);
}

void filegobbler::disableFileButtons()
{
    m_readvelm->setEnabled(false);
    m_toflash->setEnabled(false);
}

void filegobbler::enableFileButtons()
{
    m_readvelm->setEnabled(true);
    m_toflash->setEnabled(true);
}

} // namespace pvelm
