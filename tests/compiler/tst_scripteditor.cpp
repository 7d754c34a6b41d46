// The script editor driven offscreen from the converter window: open, edit,
// compile (which saves first), go to a reported line, follow the board, find,
// and closing that never loses changes.

#include "app/ui/messages.h"
#include "compiler/runningline.h"
#include "compiler/ui/filegobbler.h"
#include "compiler/ui/scripteditor.h"
#include "link/link.h"
#include "settings/hostpaths.h"
#include "settings/settings.h"
#include "support/testenv.h"

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTextBlock>
#include <QtTest>

using namespace pvelm;

class TestScriptEditor : public QObject
{
    Q_OBJECT

private slots:
    void editCompileFollow();
    void changesAreNeverLost();
};

namespace {

QString scriptPath()
{
    return hostpaths::toHost(QStringLiteral("c:\\Corvane\\velm.txt"));
}

template <typename T> T *child(QWidget *w, const char *name)
{
    return w->findChild<T *>(QLatin1String(name));
}

QString accessibleName(QWidget *w)
{
    return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
}

} // namespace

void TestScriptEditor::editCompileFollow()
{
    TestRoot root;
    const QByteArray example = readAllBytes(QStringLiteral(PVELM_SOURCE_DIR "/examples/address_blocks.txt"));
    QVERIFY(writeAllBytes(scriptPath(), example));
    QStringList messages;
    const MessageHandler previous = setMessageHandler([&](const QString &m) { messages << m; });
    SettingsRecord settings;
    Link link;
    link.setSettings(&settings);
    filegobbler converter(link, settings, nullptr);
    child<QPushButton>(&converter, "editscript")->click();
    ScriptEditor *editor = converter.scriptEditor();
    QVERIFY(editor);
    editor->resize(600, 300);
    editor->show();
    ScriptText *text = editor->text();
    QCOMPARE(text->document()->findBlockByNumber(7).text(), QStringLiteral("DSR1 = 300"));
    // Coloured as the compiler reads it: the keyword of line 8.
    const auto formats = text->document()->findBlockByNumber(7).layout()->formats();
    QVERIFY(!formats.isEmpty() && formats.first().start == 0 && formats.first().format.fontWeight() == QFont::Bold);

    // A bad line pushes everything below it one line down; Compile saves it
    // and runs the converter's compile.
    QTextCursor cursor(text->document()->findBlockByNumber(7));
    cursor.insertText(QStringLiteral("WAIT\n"));
    child<QPushButton>(editor, "Compile")->click();
    // Saved with CR LF line ends, whatever the file had.
    QByteArray expected = example;
    expected.replace("\r\n", "\n").replace("\n", "\r\n").replace("DSR1 = 300", "WAIT\r\nDSR1 = 300");
    QCOMPARE(readAllBytes(scriptPath()), expected);
    QCOMPARE(child<QLabel>(&converter, "errorbumper")->text(), QStringLiteral("1"));
    QVERIFY(messages.isEmpty());
    auto *list = child<QListWidget>(editor, "diagnostics");
    QCOMPARE(list->count(), 1);
    QVERIFY(list->item(0)->text().startsWith(QLatin1String("Line 8: error: ")));
    QCOMPARE(text->reportedLines(), QSet<int>{8});
    text->moveCursor(QTextCursor::End);
    list->itemClicked(list->item(0));
    QCOMPARE(text->textCursor().blockNumber(), 7);

    // The board at program line 3 runs the patch block's WAIT 400, now on
    // line 48: highlighted and scrolled into view without moving the cursor.
    auto *boardLine = child<QLabel>(editor, "boardLine");
    compiler::RunningLine::instance().report(QStringLiteral("3"));
    QCOMPARE(text->runningLine(), 48);
    QVERIFY(text->visibleLines().first <= 48 && 48 <= text->visibleLines().second);
    QCOMPARE(text->textCursor().blockNumber(), 7);
    QCOMPARE(boardLine->text(), QStringLiteral("Board at line 3: source line 48"));
    QCOMPARE(accessibleName(boardLine), boardLine->text());
    compiler::RunningLine::instance().report(QStringLiteral("-1"));
    QCOMPARE(text->runningLine(), 0);

    // Find: case as the compiler ignores it, then again from the top.
    child<QLineEdit>(editor, "findText")->setText(QStringLiteral("settle"));
    QCOMPARE(accessibleName(child<QLineEdit>(editor, "findText")), QStringLiteral("Find:"));
    child<QPushButton>(editor, "findNext")->click();
    QCOMPARE(text->textCursor().blockNumber(), 26); // IFINPUT 4 = 1 GOSUB SETTLE
    child<QPushButton>(editor, "findNext")->click();
    child<QPushButton>(editor, "findNext")->click();
    QCOMPARE(text->textCursor().blockNumber(), 26);
    auto *message = child<QLabel>(editor, "editorMessage");
    QCOMPARE(message->text(), QStringLiteral("Found from the top"));
    QCOMPARE(accessibleName(message), message->text());

    // Another file in the converter's source box is not compiled under this
    // file's name.
    child<QLineEdit>(&converter, "SourceFile")->setText(QStringLiteral("c:\\Corvane\\other.txt"));
    child<QPushButton>(editor, "Compile")->click();
    QVERIFY(message->text().startsWith(QLatin1String("Not compiled: ")));
    setMessageHandler(previous);
}

void TestScriptEditor::changesAreNeverLost()
{
    TestRoot root;
    QVERIFY(writeAllBytes(scriptPath(), "STOP\r\n"));
    QStringList questions;
    Answer answer = Answer::Cancel;
    const QuestionHandler previous = setQuestionHandler([&](const QString &q) {
        questions << q;
        return answer;
    });
    SettingsRecord settings;
    Link link;
    link.setSettings(&settings);
    auto *converter = new filegobbler(link, settings, nullptr);
    QPointer<filegobbler> alive(converter);
    converter->show();
    child<QPushButton>(converter, "editscript")->click();
    QPointer<ScriptEditor> editor = converter->scriptEditor();
    editor->show();
    QTextCursor(editor->text()->document()).insertText(QStringLiteral("WAIT 5\n"));

    // A character a single-byte file cannot hold: nothing written.
    QTextCursor(editor->text()->document()).insertText(QStringLiteral("/ 20\u20AC\n"));
    editor->save();
    QVERIFY(child<QLabel>(editor, "editorMessage")->text().startsWith(QLatin1String("Not saved: line 1 ")));
    QCOMPARE(readAllBytes(scriptPath()), QByteArray("STOP\r\n"));
    QTextCursor firstLine(editor->text()->document()->firstBlock());
    firstLine.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
    firstLine.removeSelectedText();

    // Cancel keeps both windows open, whichever is closed.
    QVERIFY(!editor->close());
    QVERIFY(!converter->close());
    QCOMPARE(questions.size(), 2);
    QVERIFY(questions.first().contains(scriptPath()));
    QVERIFY(editor->isVisible() && converter->isVisible());
    QCOMPARE(readAllBytes(scriptPath()), QByteArray("STOP\r\n"));

    // Yes saves (through a file renamed over the old one) and lets the
    // converter close with its editor.
    answer = Answer::Yes;
    QVERIFY(converter->close());
    QCOMPARE(readAllBytes(scriptPath()), QByteArray("WAIT 5\r\nSTOP\r\n"));
    QCOMPARE(QDir(QFileInfo(scriptPath()).absolutePath()).entryList(QDir::Files), QStringList{"velm.txt"});
    QTRY_VERIFY(!alive);
    QVERIFY(!editor);
    setQuestionHandler(previous);
}

QTEST_MAIN(TestScriptEditor)
#include "tst_scripteditor.moc"
