#include "compiler/ui/scripteditor.h"

#include "compiler/compiler.h"
#include "compiler/runningline.h"
#include "compiler/sourcemap.h"
#include "compiler/syntax.h"
#include "compiler/textfiles.h"
#include "settings/safesave.h"
#include "ui/messages.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPlainTextDocumentLayout>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
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
    return 8 + fontMetrics().horizontalAdvance(QLatin1Char('9')) * qMax(digits, 3);
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
    while (block.isValid() && top <= event->rect().bottom()) {
        const int height = qRound(blockBoundingRect(block).height());
        const int line = block.blockNumber() + 1;
        if (block.isVisible() && top + height >= event->rect().top()) {
            const QRect row(0, top, width, height);
            if (line == m_running)
                painter.fillRect(row, kRunningColour);
            else if (m_reported.contains(line))
                painter.fillRect(row, kReportedColour);
            painter.setPen(palette().color(QPalette::WindowText));
            painter.drawText(row.adjusted(0, 0, -4, 0), Qt::AlignRight | Qt::AlignVCenter, QString::number(line));
        }
        top += height;
        block = block.next();
    }
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

ScriptEditor::ScriptEditor(const QString &hostPath, Converter converter, QWidget *parent)
    : ToolWindow(parent), m_path(QFileInfo(hostPath).absoluteFilePath()), m_converter(std::move(converter))
{
    setObjectName(QStringLiteral("scripteditor"));

    m_save = new QPushButton(QStringLiteral("Save"));
    m_save->setObjectName(QStringLiteral("Save"));
    m_compile = new QPushButton(QStringLiteral("Compile"));
    m_compile->setObjectName(QStringLiteral("Compile"));
    auto *findCaption = new QLabel(QStringLiteral("Find:"));
    m_find = new QLineEdit;
    m_find->setObjectName(QStringLiteral("findText"));
    findCaption->setBuddy(m_find);
    m_find->setAccessibleName(QStringLiteral("Find:"));
    m_findNext = new QPushButton(QStringLiteral("Find Next"));
    m_findNext->setObjectName(QStringLiteral("findNext"));
    auto *tools = new QHBoxLayout;
    tools->addWidget(m_save);
    tools->addWidget(m_compile);
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

    auto *listCaption = new QLabel(QStringLiteral("Errors and warnings:"));
    m_diagnostics = new QListWidget;
    m_diagnostics->setObjectName(QStringLiteral("diagnostics"));
    m_diagnostics->setAccessibleName(QStringLiteral("Errors and warnings"));
    listCaption->setBuddy(m_diagnostics);

    auto *status = new QHBoxLayout;
    status->addWidget(m_message, 1);
    status->addWidget(m_boardLine);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(tools);
    layout->addWidget(m_text, 4);
    layout->addLayout(status);
    layout->addWidget(listCaption);
    layout->addWidget(m_diagnostics, 1);

    connect(m_save, &QPushButton::clicked, this, &ScriptEditor::Save_Click);
    connect(m_compile, &QPushButton::clicked, this, &ScriptEditor::Compile_Click);
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

    resize(760, 720);
    load();
    updateTitle();
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
    showReport();
}

void ScriptEditor::showReport()
{
    const QList<compiler::ReportEntry> entries = compiler::reportEntries(*m_converter.compiler);
    m_diagnostics->clear();
    QSet<int> lines;
    for (const compiler::ReportEntry &e : entries) {
        QString text = e.failure ? QStringLiteral("failure: ") + e.text : QStringLiteral("error: ") + e.text;
        if (e.sourceLine > 0) {
            text = QStringLiteral("Line %1: %2").arg(e.sourceLine).arg(text);
            lines.insert(int(e.sourceLine));
        }
        auto *item = new QListWidgetItem(text, m_diagnostics);
        item->setData(Qt::UserRole, e.sourceLine);
    }
    m_text->setReportedLines(lines);
    const int errors = m_converter.compiler->counters().errorbumper;
    say(m_converter.compiler->failures().isEmpty() ? QStringLiteral("Compiled: %1 errors and warnings").arg(errors)
                                                   : QStringLiteral("The compile failed; see the list below"));
    // The map changed with the compile.
    if (compiler::RunningLine::instance().line() >= 0)
        followBoard(compiler::RunningLine::instance().line());
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
    const qint64 source =
        m_converter.compiler && programLine >= 0 ? m_converter.compiler->sourceLines().sourceLine(programLine) : 0;
    if (programLine < 0) {
        m_boardLine->setText(QString());
    } else if (source > 0) {
        m_boardLine->setText(QStringLiteral("Board at line %1: source line %2").arg(programLine).arg(source));
    } else {
        m_boardLine->setText(QStringLiteral("Board at line %1: not in the last compile").arg(programLine));
    }
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
