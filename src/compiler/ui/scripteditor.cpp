#include "compiler/ui/scripteditor.h"

#include "compiler/compiler.h"
#include "compiler/lint.h"
#include "compiler/runningline.h"
#include "compiler/sourcemap.h"
#include "compiler/syntax.h"
#include "compiler/textfiles.h"
#include "flash/transfer.h"
#include "flash/ui/transferpanel.h"
#include "settings/safesave.h"
#include "ui/messages.h"

#include <QCloseEvent>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextDocumentLayout>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTextBlock>
#include <QToolBar>
#include <QVBoxLayout>

namespace pvelm {

namespace {

// Where the margin shows a reported line and the board's line.
const QColor kReportedColour(255, 200, 200);
const QColor kRunningColour(190, 240, 190);

class LineMargin : public QWidget
{
public:
    explicit LineMargin(ScriptText *text) : QWidget(text), m_text(text) {}
    QSize sizeHint() const override { return {m_text->marginWidth(), 0}; }

protected:
    void paintEvent(QPaintEvent *event) override { m_text->paintMargin(event); }

private:
    ScriptText *m_text;
};

QTextCharFormat textFormat(const QColor &colour, bool bold = false, bool italic = false)
{
    QTextCharFormat f;
    f.setForeground(colour);
    if (bold)
        f.setFontWeight(QFont::Bold);
    f.setFontItalic(italic);
    return f;
}

} // namespace

// ---- colouring --------------------------------------------------------------

ScriptHighlighter::ScriptHighlighter(QTextDocument *document) : QSyntaxHighlighter(document) {}

void ScriptHighlighter::highlightBlock(const QString &text)
{
    using compiler::SyntaxKind;
    static const QTextCharFormat formats[] = {
        textFormat(QColor(0, 0, 160), true),            // keyword
        textFormat(QColor(150, 0, 150)),                // number
        textFormat(QColor(0, 110, 0), true),            // label
        textFormat(QColor(110, 110, 110), false, true), // comment
        [] {
            QTextCharFormat f = textFormat(QColor(180, 0, 0));
            f.setUnderlineStyle(QTextCharFormat::WaveUnderline);
            f.setUnderlineColor(QColor(180, 0, 0));
            return f;
        }(), // a line the compiler ignores
    };
    thread_local std::vector<compiler::SyntaxSpan> spans;
    compiler::classifyLine(text, spans);
    for (const compiler::SyntaxSpan &s : spans)
        setFormat(s.start, s.length, formats[int(s.kind)]);
}

// ---- the text and its margin ------------------------------------------------

ScriptText::ScriptText(QWidget *parent) : QPlainTextEdit(parent), m_margin(new LineMargin(this))
{
    // One source line to one row, in a fixed font: the line numbers in the
    // margin and in the report are the rows.
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    connect(this, &QPlainTextEdit::blockCountChanged, this, [this] { setViewportMargins(marginWidth(), 0, 0, 0); });
    connect(this, &QPlainTextEdit::updateRequest, this, &ScriptText::updateMargin);
    setViewportMargins(marginWidth(), 0, 0, 0);
}

void ScriptText::setScript(const QString &text)
{
    // The document is filled and coloured before the view sees it: colouring
    // a long script under a live view costs as much again in view updates.
    // The old document is a child of this view and goes with the swap.
    auto *doc = new QTextDocument(this);
    doc->setDocumentLayout(new QPlainTextDocumentLayout(doc));
    doc->setDefaultFont(font());
    new ScriptHighlighter(doc);
    doc->setPlainText(text);
    doc->setModified(false);
    setDocument(doc);
    setViewportMargins(marginWidth(), 0, 0, 0);
    showRunningLine();
}

int ScriptText::marginWidth() const
{
    int digits = 1;
    for (int n = qMax(1, blockCount()); n >= 10; n /= 10)
        ++digits;
    return 8 + fontMetrics().horizontalAdvance(QLatin1Char('9')) * qMax(digits, 3) + programGutterWidth();
}

int ScriptText::programGutterWidth() const
{
    // Program lines run to 32767: five digits.
    return m_programLines.empty() ? 0 : 10 + fontMetrics().horizontalAdvance(QLatin1Char('9')) * 5;
}

void ScriptText::resizeEvent(QResizeEvent *event)
{
    QPlainTextEdit::resizeEvent(event);
    const QRect r = contentsRect();
    m_margin->setGeometry(QRect(r.left(), r.top(), marginWidth(), r.height()));
}

void ScriptText::updateMargin(const QRect &rect, int dy)
{
    if (dy)
        m_margin->scroll(0, dy);
    else
        m_margin->update(0, rect.y(), m_margin->width(), rect.height());
}

void ScriptText::paintMargin(QPaintEvent *event)
{
    QPainter painter(m_margin);
    painter.fillRect(event->rect(), palette().color(QPalette::Window));
    QTextBlock block = firstVisibleBlock();
    int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
    const int width = m_margin->width();
    // The source line numbers, then the gutter with the program lines.
    const int gutter = programGutterWidth();
    const int numbers = width - gutter;
    if (gutter > 0)
        painter.fillRect(QRect(numbers, event->rect().top(), gutter, event->rect().height()),
                         palette().color(QPalette::AlternateBase));
    const QColor programColour(0, 70, 140);
    while (block.isValid() && top <= event->rect().bottom()) {
        const int height = qRound(blockBoundingRect(block).height());
        const int line = block.blockNumber() + 1;
        if (block.isVisible() && top + height >= event->rect().top()) {
            const QRect row(0, top, numbers, height);
            if (line == m_running)
                painter.fillRect(row, kRunningColour);
            else if (m_reported.contains(line))
                painter.fillRect(row, kReportedColour);
            painter.setPen(palette().color(QPalette::WindowText));
            painter.drawText(row.adjusted(0, 0, -4, 0), Qt::AlignRight | Qt::AlignVCenter, QString::number(line));
            if (const qint64 program = programLine(line); program >= 0) {
                painter.setPen(programColour);
                painter.drawText(QRect(numbers, top, gutter - 6, height), Qt::AlignRight | Qt::AlignVCenter,
                                 QString::number(program));
            }
        }
        top += height;
        block = block.next();
    }
}

void ScriptText::setProgramLines(std::vector<qint32> lines)
{
    m_programLines = std::move(lines);
    setViewportMargins(marginWidth(), 0, 0, 0);
    const QRect r = contentsRect();
    m_margin->setGeometry(QRect(r.left(), r.top(), marginWidth(), r.height()));
    m_margin->update();
}

qint64 ScriptText::programLine(int sourceLine) const
{
    if (sourceLine <= 0 || size_t(sourceLine) >= m_programLines.size())
        return -1;
    return m_programLines[size_t(sourceLine)];
}

void ScriptText::setReportedLines(const QSet<int> &lines)
{
    m_reported = lines;
    m_margin->update();
}

void ScriptText::setRunningLine(int line)
{
    if (line == m_running)
        return;
    m_running = line;
    showRunningLine();
    m_margin->update();
}

void ScriptText::showRunningLine()
{
    QList<QTextEdit::ExtraSelection> selections;
    const QTextBlock block = document()->findBlockByNumber(m_running - 1);
    if (m_running > 0 && block.isValid()) {
        QTextEdit::ExtraSelection s;
        s.format.setBackground(kRunningColour);
        s.format.setProperty(QTextFormat::FullWidthSelection, true);
        s.cursor = QTextCursor(block);
        selections << s;
    }
    setExtraSelections(selections);
}

void ScriptText::goToLine(int line)
{
    const QTextBlock block = document()->findBlockByNumber(qMax(0, line - 1));
    if (!block.isValid())
        return;
    setTextCursor(QTextCursor(block));
    centerCursor();
}

QPair<int, int> ScriptText::visibleLines() const
{
    // Without wrapping the scroll bar counts rows, and a row is a line.
    const int first = verticalScrollBar()->value() + 1;
    const int rows = qMax(1, viewport()->height() / qMax(1, fontMetrics().lineSpacing()));
    return {first, first + rows - 1};
}

void ScriptText::keepInView(int line)
{
    const auto [first, last] = visibleLines();
    if (line >= first && line <= last)
        return;
    verticalScrollBar()->setValue(qMax(0, line - 1 - (last - first) / 2));
}

// ---- the window -------------------------------------------------------------

ScriptEditor::ScriptEditor(const QString &hostPath, Converter converter, QWidget *parent, Board board)
    : ToolWindow(parent), m_path(QFileInfo(hostPath).absoluteFilePath()), m_converter(std::move(converter)),
      m_board(std::move(board))
{
    setObjectName(QStringLiteral("scripteditor"));

    // The daily loop on a menu, a toolbar and keys. Each action's name is
    // its caption, and so is its tool button's.
    auto *menuBar = new QMenuBar;
    auto *toolBar = new QToolBar;
    toolBar->setObjectName(QStringLiteral("workbenchTools"));
    toolBar->setAccessibleName(QStringLiteral("Workbench"));
    toolBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    const auto place = [&](QMenu *menu, QAction *action) {
        menu->addAction(action);
        toolBar->addAction(action);
        toolBar->widgetForAction(action)->setObjectName(action->objectName());
    };
    QMenu *scriptMenu = menuBar->addMenu(QStringLiteral("&Script"));
    m_save = makeAction(QStringLiteral("Save"), QKeySequence(Qt::CTRL | Qt::Key_S), &ScriptEditor::Save_Click);
    place(scriptMenu, m_save);
    QAction *insertPose =
        makeAction(QStringLiteral("Insert Pose"), QKeySequence(Qt::CTRL | Qt::Key_I), &ScriptEditor::InsertPose_Click);
    place(scriptMenu, insertPose);
    toolBar->addSeparator();
    QMenu *programMenu = menuBar->addMenu(QStringLiteral("&Program"));
    m_compile = makeAction(QStringLiteral("Compile"), QKeySequence(Qt::Key_F7), &ScriptEditor::Compile_Click);
    place(programMenu, m_compile);
    place(programMenu, makeAction(QStringLiteral("Download"), QKeySequence(Qt::Key_F8),
                                  [](ScriptEditor *e) { e->Download_Click(); }));
    programMenu->addSeparator();
    toolBar->addSeparator();
    place(programMenu, makeAction(QStringLiteral("Run"), QKeySequence(Qt::Key_F5), &ScriptEditor::Run_Click));
    place(programMenu, makeAction(QStringLiteral("Run from Cursor"), QKeySequence(Qt::CTRL | Qt::Key_F5),
                                  &ScriptEditor::RunFromCursor_Click));
    place(programMenu, makeAction(QStringLiteral("Pause"), QKeySequence(Qt::Key_F6), &ScriptEditor::Pause_Click));
    place(programMenu,
          makeAction(QStringLiteral("Stop"), QKeySequence(Qt::SHIFT | Qt::Key_F5), &ScriptEditor::Stop_Click));

    auto *findCaption = new QLabel(QStringLiteral("Find:"));
    m_find = new QLineEdit;
    m_find->setObjectName(QStringLiteral("findText"));
    findCaption->setBuddy(m_find);
    m_find->setAccessibleName(QStringLiteral("Find:"));
    m_findNext = new QPushButton(QStringLiteral("Find Next"));
    m_findNext->setObjectName(QStringLiteral("findNext"));
    auto *tools = new QHBoxLayout;
    tools->addWidget(toolBar);
    tools->addSpacing(12);
    tools->addWidget(findCaption);
    tools->addWidget(m_find, 1);
    tools->addWidget(m_findNext);

    m_text = new ScriptText;
    m_text->setObjectName(QStringLiteral("scriptText"));
    m_text->setAccessibleName(QStringLiteral("Script"));

    // Value labels: a screen reader reads what they say; the description
    // says what it is.
    m_message = new QLabel;
    m_message->setObjectName(QStringLiteral("editorMessage"));
    m_message->setAccessibleDescription(QStringLiteral("Editor message"));
    m_message->setWordWrap(true);
    m_message->setTextFormat(Qt::PlainText);
    m_boardLine = new QLabel;
    m_boardLine->setObjectName(QStringLiteral("boardLine"));
    m_boardLine->setAccessibleDescription(QStringLiteral("Board's current line"));
    m_boardLine->setTextFormat(Qt::PlainText);
    m_boardState = new QLabel;
    m_boardState->setObjectName(QStringLiteral("boardState"));
    m_boardState->setAccessibleDescription(QStringLiteral("Board's mode and notification"));
    m_boardState->setTextFormat(Qt::PlainText);
    // The download's own progress panel: pages, time left, Cancel.
    m_transfer = new TransferPanel;
    m_transfer->setObjectName(QStringLiteral("downloadProgress"));
    m_transfer->hide();

    auto *listCaption = new QLabel(QStringLiteral("Errors and warnings:"));
    m_diagnostics = new QListWidget;
    m_diagnostics->setObjectName(QStringLiteral("diagnostics"));
    m_diagnostics->setAccessibleName(QStringLiteral("Errors and warnings"));
    listCaption->setBuddy(m_diagnostics);

    auto *status = new QStatusBar;
    status->setObjectName(QStringLiteral("workbenchStatus"));
    status->setSizeGripEnabled(false);
    status->addWidget(m_message, 1);
    status->addWidget(m_transfer, 1);
    status->addPermanentWidget(m_boardState);
    status->addPermanentWidget(m_boardLine);

    auto *layout = new QVBoxLayout(this);
    layout->setMenuBar(menuBar);
    layout->addLayout(tools);
    layout->addWidget(m_text, 4);
    layout->addWidget(listCaption);
    layout->addWidget(m_diagnostics, 1);
    layout->addWidget(status);

    connect(m_findNext, &QPushButton::clicked, this, &ScriptEditor::findNext_Click);
    connect(m_find, &QLineEdit::returnPressed, this, &ScriptEditor::findNext_Click);
    connect(m_diagnostics, &QListWidget::itemClicked, this, &ScriptEditor::diagnostics_itemActivated);
    connect(m_diagnostics, &QListWidget::itemActivated, this, &ScriptEditor::diagnostics_itemActivated);
    connect(&compiler::RunningLine::instance(), &compiler::RunningLine::lineReported, this, &ScriptEditor::followBoard);

    // Closing the converter or the main window closes this one too: ask
    // there, before anything is gone.
    for (QWidget *w = parentWidget(); w; w = w->parentWidget()) {
        if (w->isWindow())
            w->installEventFilter(this);
    }

    resize(820, 720);
    load();
    updateTitle();
}

template <typename Handler>
QAction *ScriptEditor::makeAction(const QString &name, const QKeySequence &key, Handler handler)
{
    auto *action = new QAction(name, this);
    action->setObjectName(name);
    action->setShortcut(key);
    action->setShortcutContext(Qt::WindowShortcut);
    action->setToolTip(QStringLiteral("%1 (%2)").arg(name, key.toString(QKeySequence::NativeText)));
    connect(action, &QAction::triggered, this, [this, handler] { std::invoke(handler, this); });
    m_actions << action;
    return action;
}

bool ScriptEditor::isModified() const
{
    return m_text->document()->isModified();
}

void ScriptEditor::updateTitle()
{
    setWindowTitle(QStringLiteral("VelmScript Editor - %1%2")
                       .arg(QDir::toNativeSeparators(m_path), isModified() ? QStringLiteral(" *") : QString()));
}

void ScriptEditor::say(const QString &message)
{
    m_message->setText(message);
}

bool ScriptEditor::load()
{
    QByteArray bytes;
    QString why;
    m_readable = true;
    if (!QFileInfo::exists(m_path)) {
        m_text->setScript(QString());
        say(QStringLiteral("%1 does not exist yet; Save or Compile creates it.").arg(m_path));
    } else if (compiler::readScriptFile(m_path, &bytes, &why) != compiler::ScriptRead::Ok) {
        // Nothing may be saved over a file whose content never reached the
        // editor.
        m_readable = false;
        m_text->setScript(QString());
        m_text->setReadOnly(true);
        say(QStringLiteral("Cannot read the script: %1").arg(why));
    } else {
        // Lines end at CR LF, LF or CR, as the compiler reads them, so the
        // line numbers here are the compiler's.
        QString text;
        text.reserve(bytes.size());
        bool first = true;
        compiler::forEachLine(bytes, [&](const QByteArray &line) {
            if (!first)
                text += QLatin1Char('\n');
            first = false;
            text += QString::fromLatin1(line);
            return true;
        });
        m_text->setScript(text);
        say(QString());
    }
    connect(m_text->document(), &QTextDocument::modificationChanged, this, &ScriptEditor::updateTitle);
    m_save->setEnabled(m_readable);
    m_compile->setEnabled(m_readable);
    return m_readable;
}

bool ScriptEditor::save()
{
    if (!m_readable)
        return false;
    QTextDocument *doc = m_text->document();
    QByteArray bytes;
    bytes.reserve(doc->characterCount() + doc->blockCount());
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        const QString line = block.text();
        // An empty last row is where the cursor sits after the last line
        // end, not a line of its own.
        if (!block.next().isValid() && line.isEmpty() && block.blockNumber() > 0)
            break;
        for (QChar c : line) {
            if (c.unicode() > 0xFF) {
                m_text->goToLine(block.blockNumber() + 1);
                say(QStringLiteral("Not saved: line %1 holds \"%2\", which a VelmScript file (one byte per "
                                   "character) cannot hold.")
                        .arg(block.blockNumber() + 1)
                        .arg(c));
                return false;
            }
        }
        bytes += line.toLatin1();
        bytes += "\r\n";
    }
    QString why;
    if (!saveFile(m_path, bytes, &why)) {
        say(QStringLiteral("Not saved: %1").arg(why));
        return false;
    }
    doc->setModified(false);
    say(QStringLiteral("Saved %1").arg(m_path));
    return true;
}

void ScriptEditor::Compile_Click()
{
    HandlerGuard guard(this);
    if (m_busy || !m_readable)
        return;
    // The compile reads the converter's source path; it must be this file.
    const QString compiled = QFileInfo(m_converter.sourcePath()).absoluteFilePath();
    if (compiled != m_path) {
        say(QStringLiteral("Not compiled: the converter's source path names %1; press Edit Script there to edit "
                           "that file.")
                .arg(compiled));
        return;
    }
    if ((isModified() || !QFileInfo::exists(m_path)) && !save())
        return;
    m_compile->setEnabled(false);
    m_converter.compile();
    m_compile->setEnabled(true);
    m_compiledText = m_text->toPlainText();
    m_compileMadeProgram = m_converter.compiler->failures().isEmpty();
    showReport();
}

void ScriptEditor::showReport()
{
    const compiler::Compiler &c = *m_converter.compiler;
    QList<compiler::ReportEntry> entries = compiler::reportEntries(c);
    // The lint's warnings join the list, in source order, and are never
    // counted as errors.
    QByteArray source;
    QString unread;
    QList<compiler::Warning> warnings;
    if (compiler::readScriptFile(m_path, &source, &unread) == compiler::ScriptRead::Ok)
        warnings = compiler::lint(c, source);
    struct Row
    {
        qint64 line;
        QString text;
    };
    QList<Row> rows;
    for (const compiler::ReportEntry &e : entries)
        rows.append({e.sourceLine, (e.failure ? QStringLiteral("failure: ") : QStringLiteral("error: ")) + e.text});
    for (const compiler::Warning &w : warnings)
        rows.append({w.sourceLine, QStringLiteral("warning: ") + w.text});
    std::stable_sort(rows.begin(), rows.end(), [](const Row &a, const Row &b) {
        return (a.line == 0 ? -1 : a.line) < (b.line == 0 ? -1 : b.line);
    });
    m_diagnostics->clear();
    QSet<int> lines;
    for (const Row &row : rows) {
        QString text = row.text;
        if (row.line > 0) {
            text = QStringLiteral("Line %1: %2").arg(row.line).arg(text);
            lines.insert(int(row.line));
        }
        auto *item = new QListWidgetItem(text, m_diagnostics);
        item->setData(Qt::UserRole, row.line);
    }
    m_text->setReportedLines(lines);
    m_text->setProgramLines(m_compileMadeProgram ? c.sourceLines().firstProgramLines() : std::vector<qint32>());
    const int errors = c.counters().errorbumper;
    if (!m_compileMadeProgram)
        say(QStringLiteral("The compile failed; see the list below"));
    else if (warnings.isEmpty())
        say(QStringLiteral("Compiled: %1 errors and warnings").arg(errors));
    else
        say(QStringLiteral("Compiled: %1 errors and warnings, %2 more warnings below")
                .arg(errors)
                .arg(warnings.size()));
    // The map changed with the compile.
    if (compiler::RunningLine::instance().line() >= 0)
        followBoard(compiler::RunningLine::instance().line());
}

bool ScriptEditor::compileIfChanged()
{
    if (!m_compiledText || *m_compiledText != m_text->toPlainText())
        Compile_Click();
    if (!m_compiledText || *m_compiledText != m_text->toPlainText())
        return false; // the compile was refused; it said why
    if (!m_compileMadeProgram) {
        say(QStringLiteral("Nothing sent: the compile failed; see the list below."));
        return false;
    }
    return true;
}

bool ScriptEditor::errorsAccepted()
{
    const int errors = m_converter.compiler->counters().errorbumper;
    if (errors == 0)
        return true;
    if (confirmDefaultNo(this, QStringLiteral("The program has %1 errors. Download anyway?").arg(errors)))
        return true;
    say(QStringLiteral("Nothing sent: the program has %1 errors.").arg(errors));
    return false;
}

QByteArray ScriptEditor::compiledProgram() const
{
    QFile file(m_converter.downloadPath ? m_converter.downloadPath() : QString());
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

void ScriptEditor::setBusy(bool busy)
{
    // While a download runs only Pause, Stop and Save stay on.
    m_busy = busy;
    for (QAction *a : std::as_const(m_actions)) {
        if (a->objectName() != QLatin1String("Pause") && a->objectName() != QLatin1String("Stop"))
            a->setEnabled(!busy);
    }
    m_save->setEnabled(m_readable);
    m_compile->setEnabled(!busy && m_readable);
}

bool ScriptEditor::downloadCompiled()
{
    if (!m_converter.link || !m_converter.downloadPath) {
        say(QStringLiteral("Nothing sent: this editor has no link to the board."));
        return false;
    }
    const QString path = m_converter.downloadPath();
    const QByteArray program = compiledProgram();
    setBusy(true);
    m_transfer->setVisible(true);
    say(QStringLiteral("Downloading %1").arg(path));
    const flash::TransferResult result = flash::writePageFile(*m_converter.link, path, m_transfer->begin());
    m_transfer->end(result.detail);
    setBusy(false);
    if (result.ok()) {
        m_downloadedHash = program;
        m_transfer->hide();
        say(QStringLiteral("Downloaded: %1").arg(result.detail));
        return true;
    }
    // What the board holds now is not known.
    m_downloadedHash.clear();
    say(result.outcome == flash::Outcome::Failed
            ? QStringLiteral("%1: %2").arg(QString::fromLatin1(flash::kFlashWriteError), result.detail)
            : QStringLiteral("Not downloaded: %1").arg(result.detail));
    return false;
}

bool ScriptEditor::Download_Click()
{
    HandlerGuard guard(this);
    if (m_busy)
        return false;
    return compileIfChanged() && errorsAccepted() && downloadCompiled();
}

void ScriptEditor::Run_Click()
{
    runFrom(std::nullopt);
}

void ScriptEditor::RunFromCursor_Click()
{
    runFrom(m_text->textCursor().blockNumber() + 1);
}

void ScriptEditor::runFrom(std::optional<int> sourceLine)
{
    HandlerGuard guard(this);
    if (m_busy)
        return;
    if (!m_board.run)
        return say(QStringLiteral("Not run: the board's run commands are in the main window."));
    if (!compileIfChanged())
        return;
    quint32 line = 0;
    if (sourceLine) {
        const qint64 program = m_text->programLine(*sourceLine);
        if (program < 0)
            return say(QStringLiteral("Not run: source line %1 writes no program line.").arg(*sourceLine));
        line = quint32(program);
    }
    // A program with errors runs only on purpose, downloaded or not. The
    // board keeps the program of the last download from here while the
    // temp hex file still holds the same program.
    if (!errorsAccepted())
        return;
    if ((m_downloadedHash.isEmpty() || compiledProgram() != m_downloadedHash) && !downloadCompiled())
        return;
    say(QStringLiteral("Running from program line %1").arg(line));
    m_board.run(line);
}

void ScriptEditor::Pause_Click()
{
    HandlerGuard guard(this);
    if (m_board.pause)
        m_board.pause();
}

void ScriptEditor::Stop_Click()
{
    HandlerGuard guard(this);
    if (m_board.stop)
        m_board.stop();
}

void ScriptEditor::InsertPose_Click()
{
    HandlerGuard guard(this);
    if (!m_board.pose)
        return say(QStringLiteral("No pose: the servos are read through the main window."));
    if (m_text->isReadOnly())
        return;
    QString why;
    const QString statement = m_board.pose(&why);
    if (statement.isEmpty())
        return say(QStringLiteral("No pose inserted: %1").arg(why));
    // A line of its own: on the cursor's line when that is blank, else
    // below it; the cursor ends after it, so the next pose goes below.
    QTextCursor cursor = m_text->textCursor();
    cursor.clearSelection();
    cursor.beginEditBlock();
    if (cursor.block().text().trimmed().isEmpty()) {
        cursor.movePosition(QTextCursor::StartOfBlock);
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        cursor.insertText(statement);
    } else {
        cursor.movePosition(QTextCursor::EndOfBlock);
        cursor.insertText(QLatin1Char('\n') + statement);
    }
    cursor.endEditBlock();
    m_text->setTextCursor(cursor);
    say(QStringLiteral("Inserted %1").arg(statement));
}

void ScriptEditor::diagnostics_itemActivated(QListWidgetItem *item)
{
    const int line = item ? item->data(Qt::UserRole).toInt() : 0;
    if (line <= 0)
        return;
    m_text->goToLine(line);
    m_text->setFocus();
}

void ScriptEditor::findNext_Click()
{
    const QString needle = m_find->text();
    if (needle.isEmpty())
        return;
    // From the cursor on, then once more from the top.
    if (m_text->find(needle))
        return say(QString());
    const QTextCursor kept = m_text->textCursor();
    m_text->moveCursor(QTextCursor::Start);
    if (m_text->find(needle))
        return say(QStringLiteral("Found from the top"));
    m_text->setTextCursor(kept);
    say(QStringLiteral("\"%1\" not found").arg(needle));
}

void ScriptEditor::followBoard(qint64 programLine)
{
    const compiler::RunningLine &board = compiler::RunningLine::instance();
    const qint64 source =
        m_converter.compiler && programLine >= 0 ? m_converter.compiler->sourceLines().sourceLine(programLine) : 0;
    if (programLine < 0) {
        m_boardLine->setText(QString());
    } else if (source > 0) {
        m_boardLine->setText(QStringLiteral("Board at line %1 (source line %2)").arg(programLine).arg(source));
    } else {
        m_boardLine->setText(QStringLiteral("Board at line %1 (not in the last compile)").arg(programLine));
    }
    m_boardState->setText(board.mode().isEmpty() ? QString()
                                                 : QStringLiteral("%1, %2").arg(board.mode(), board.notification()));
    m_text->setRunningLine(int(source));
    if (source > 0)
        m_text->keepInView(int(source));
}

bool ScriptEditor::maybeSave()
{
    if (!isModified())
        return true;
    switch (askQuestion(this, QStringLiteral("The script %1 has unsaved changes. Save them?").arg(m_path))) {
    case Answer::Yes:
        return save();
    case Answer::No:
        // Discarded on purpose: nothing to ask again when the window closes.
        m_text->document()->setModified(false);
        return true;
    case Answer::Cancel:
        break;
    }
    return false;
}

void ScriptEditor::closeEvent(QCloseEvent *event)
{
    if (!maybeSave()) {
        event->ignore();
        return;
    }
    ToolWindow::closeEvent(event);
}

bool ScriptEditor::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Close && !isFinished() && !maybeSave()) {
        event->ignore();
        return true;
    }
    return ToolWindow::eventFilter(watched, event);
}

} // namespace pvelm
