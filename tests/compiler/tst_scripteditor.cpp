// The script editor driven offscreen from the converter window: open, edit,
// compile (which saves first), go to a reported line, follow the board, find,
// and closing that never loses changes.

#include "app/ui/messages.h"
#include "app/ui/velmcon.h"
#include "compiler/ui/filegobbler.h"
#include "compiler/ui/scripteditor.h"
#include "link/link.h"
#include "settings/hostpaths.h"
#include "settings/settings.h"
#include "sim/virtualboard.h"
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

} // namespace

void TestScriptEditor::editCompileFollow()
{
    TestRoot root;
    const QByteArray example = readAllBytes(QStringLiteral(PVELM_SOURCE_DIR "/examples/address_blocks.txt"));
    QVERIFY(writeAllBytes(scriptPath(), example));
    QStringList messages;
    const MessageHandler previous = setMessageHandler([&](const QString &m) { messages << m; });
    // The whole console on the virtual board, so the editor follows what
    // the main window's monitor shows.
    sim::VirtualBoard board;
    QVERIFY(board.start());
    board.updateState([](sim::BoardState &s) { s.params[7] = 2; }); // a report every 20 ms
    Velmcon main;
    main.link().setPortOverride(board.devicePath());
    QVERIFY(main.Form_Load());
    main.link().setSecondMs(100);
    main.filegobblery_Click();
    filegobbler &converter = *main.findChild<filegobbler *>();
    child<QPushButton>(&converter, "editscript")->click();
    ScriptEditor *editor = converter.scriptEditor();
    QVERIFY(editor);
    editor->resize(600, 300);
    editor->show();
    ScriptText *text = editor->text();
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

    // The compiled program in the board's flash, run and stopped: each line
    // the monitor shows is highlighted through the map (the patch block's
    // WAIT 400 at program line 3 is now source line 48) and kept in view,
    // and the cursor stays where the operator left it.
    QCOMPARE(converter.compiler().sourceLines().sourceLine(3), 48);
    const QByteArray hex = readAllBytes(hostpaths::toHost(QStringLiteral("c:\\Corvane\\flash.tmp")));
    board.updateState([&](sim::BoardState &s) {
        for (const QByteArray &line : hex.split('\n')) {
            if (line.size() >= 517)
                s.flash.replace(line.left(5).toInt() * sim::BoardState::PageBytes, 256,
                                QByteArray::fromHex(line.mid(5, 512)));
        }
    });
    int followed = 0;
    QTimer sampler;
    connect(&sampler, &QTimer::timeout, this, [&] {
        const qint64 shown = main.findChild<QLabel *>(QStringLiteral("currentline"))->text().toLongLong();
        const int source = text->runningLine();
        if (source == 0 || source != converter.compiler().sourceLines().sourceLine(shown))
            return;
        ++followed;
        QVERIFY(text->visibleLines().first <= source && source <= text->visibleLines().second);
    });
    sampler.start(5);
    QTimer::singleShot(400, this, [&] { main.stopall_Click(); });
    main.Run_Click();
    sampler.stop();
    QVERIFY(followed > 0);
    QCOMPARE(text->textCursor().blockNumber(), 7);
    auto *boardLine = child<QLabel>(editor, "boardLine");
    QVERIFY(boardLine->text().startsWith(QLatin1String("Board at line ")));
    QCOMPARE(QAccessible::queryAccessibleInterface(boardLine)->text(QAccessible::Name), boardLine->text());

    // Find: case as the compiler ignores it, then again from the top.
    child<QLineEdit>(editor, "findText")->setText(QStringLiteral("settle"));
    for (int i = 0; i < 3; ++i)
        child<QPushButton>(editor, "findNext")->click();
    QCOMPARE(text->textCursor().blockNumber(), 26); // IFINPUT 4 = 1 GOSUB SETTLE
    auto *message = child<QLabel>(editor, "editorMessage");
    QCOMPARE(message->text(), QStringLiteral("Found from the top"));

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
    editor->text()->undo();

    // Cancel keeps both windows open, whichever is closed.
    QVERIFY(!editor->close());
    QVERIFY(!converter->close());
    QCOMPARE(questions.size(), 2);
    QVERIFY(questions.first().contains(scriptPath()));
    QCOMPARE(readAllBytes(scriptPath()), QByteArray("STOP\r\n"));

    // Yes saves (through a file renamed over the old one) and lets the
    // converter close with its editor.
    answer = Answer::Yes;
    QVERIFY(converter->close());
    QCOMPARE(readAllBytes(scriptPath()), QByteArray("WAIT 5\r\nSTOP\r\n"));
    QTRY_VERIFY(!editor);
    setQuestionHandler(previous);
}

QTEST_MAIN(TestScriptEditor)
#include "tst_scripteditor.moc"
