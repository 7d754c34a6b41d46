// The compiler window and its script editor, driven offscreen on real
// files. The window in one run: its controls and the paths it takes from the
// settings record, a failed compile and the state of its buttons, a whole
// compile, and paths edited between compiles. The editor opened from it in
// the whole console on the virtual board: open, edit, compile (which saves
// first), go to a reported line, follow the board, find, and closing that
// never loses changes.

#include "app/ui/velmcon.h"
#include "compilehelpers.h"
#include "compiler/ui/filegobbler.h"
#include "compiler/ui/scripteditor.h"
#include "link/link.h"
#include "settings/hostpaths.h"
#include "settings/settings.h"
#include "sim/virtualboard.h"
#include "ui/messages.h"

#include <QAccessible>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QtTest>

using namespace pvelm;
using compilertest::crlf;
using compilertest::pageLine;

namespace {

QString corvane(const QString &name)
{
    return hostpaths::toHost(QStringLiteral("c:\\Corvane\\") + name);
}

template <typename T> T *child(QWidget *w, const char *name)
{
    return w->findChild<T *>(QLatin1String(name));
}

} // namespace

class TestFilegobbler : public QObject
{
    Q_OBJECT

private slots:
    void convert();
    void editCompileFollow();
};

void TestFilegobbler::convert()
{
    TestRoot root;
    SettingsRecord settings;
    Link link;
    link.setSettings(&settings);
    // The paths come from the settings record with every blank removed.
    settings.setPath(SettingsRecord::kScriptPathColumn, "d:\\My Scripts\\arm.txt");
    settings.setPath(SettingsRecord::kListPathColumn, "d:\\out\\my list.txt");
    filegobbler window(link, settings, nullptr);
    auto box = [&](const char *name) { return window.findChild<QLineEdit *>(QLatin1String(name)); };
    auto button = [&](const char *name) { return window.findChild<QPushButton *>(QLatin1String(name)); };
    auto counters = [&] {
        QStringList values;
        for (const char *name :
             {"goodlines", "errorbumper", "blanklines", "callcount", "returncount", "docount", "loopcount"})
            values << window.findChild<QLabel *>(QLatin1String(name))->text();
        return values;
    };
    auto echo = [&] { return window.findChild<QPlainTextEdit *>("output1")->toPlainText(); };
    // Messages are recorded instead of opening a box, with whether either
    // button was on when each was shown.
    QStringList messages, buttonsAtMessage;
    const MessageHandler previous = setMessageHandler([&](const QString &text) {
        messages << text;
        buttonsAtMessage << QString(button("Readvelm")->isEnabled() || button("toflash")->isEnabled() ? "on" : "off");
    });

    QCOMPARE(box("SourceFile")->text(), QStringLiteral("d:\\MyScripts\\arm.txt"));
    QCOMPARE(box("tempfile")->text(), QStringLiteral("c:\\Corvane\\premerged.tmp"));
    QCOMPARE(box("Listfile")->text(), QStringLiteral("d:\\out\\mylist.txt"));
    // Each path box sits in its frame and is named by the frame's caption.
    for (const auto &[name, caption] : {std::pair{"SourceFile", "Source path and file  (32 chars max)"},
                                        {"tempfile", "Temporary file and path"},
                                        {"Listfile", "List file and path"}}) {
        QVERIFY2(box(name), name);
        QCOMPARE(qobject_cast<QGroupBox *>(box(name)->parentWidget())->title(), QLatin1String(caption));
        QCOMPARE(box(name)->accessibleName(), QLatin1String(caption));
    }
    // The counters start at 0, each beside its caption, blanks and spelling
    // included.
    QStringList labelTexts;
    for (QLabel *l : window.findChildren<QLabel *>())
        labelTexts << l->text();
    for (const char *caption : {"Lines converted:", "Errors / Warnings:", "Lines with no data:", "    Number of calls:",
                                "Number of retunrs:", "             Do count:", "  Loop count:",
                                "Read in Velm file and convert to temporary hex file for download."})
        QVERIFY2(labelTexts.contains(QLatin1String(caption)), caption);
    QCOMPARE(counters(), QStringList(7, "0"));
    QCOMPARE(button("Readvelm")->text(), QStringLiteral("Read Velm File"));
    QCOMPARE(qobject_cast<QGroupBox *>(button("Readvelm")->parentWidget())->title(),
             QStringLiteral("Convert Velm file to HEX"));
    QCOMPARE(button("toflash")->text(), QStringLiteral("Write to Flash"));

    // No source file: one message for each pass, shown while both buttons
    // are off; afterwards both are back, and the program of an earlier
    // compile is not left for the download.
    QVERIFY(writeAllBytes(corvane("flash.tmp"), crlf({pageLine(0, {{0, "28FF0001"}})})));
    button("Readvelm")->click();
    const QString atZero = QString::fromLatin1(compiler::kFailureMessage) + "0";
    QCOMPARE(messages, (QStringList{atZero, atZero}));
    QCOMPARE(buttonsAtMessage, (QStringList{"off", "off"}));
    QVERIFY(button("Readvelm")->isEnabled());
    QVERIFY(button("toflash")->isEnabled());
    QVERIFY(!QFile::exists(corvane("flash.tmp")));
    messages.clear();

    // The setup window changes the record while this window is open: the
    // temp hex path stays as it was at load, and the boxes are read at each
    // pass (Windows paths in any case, or host paths). The echo shows a
    // single-byte character as it is, and a last line without its line end.
    QVERIFY(writeAllBytes(root.file("scripts/other.txt"),
                          crlf({"/ p\xE9", "CALL 5", "RETURN", "DO 3", "LOOP", "LOOP"}) + "GOTO NOWHERE"));
    settings.setPath(SettingsRecord::kTempHexPathColumn, "c:\\Corvane\\moved.tmp");
    box("SourceFile")->setText(root.file("scripts/other.txt"));
    box("Listfile")->setText("C:\\CORVANE\\Second.txt");
    box("tempfile")->setText("c:\\Corvane\\work.tmp");
    button("Readvelm")->click();
    QCOMPARE(messages, QStringList());
    QCOMPARE(counters(), (QStringList{"5", "1", "1", "1", "1", "1", "2"}));
    QCOMPARE(echo(), QString::fromLatin1("/ p\xE9\nCALL 5\nRETURN\nDO 3\nLOOP\nLOOP\nGOTO NOWHERE\n"));
    QVERIFY(readAllBytes(root.file("drive_c/Corvane/Second.txt")).startsWith("0 Call Line number: 00005\r\n"));
    QCOMPARE(readAllBytes(corvane("work.tmp")),
             crlf({pageLine(0, {{0, "14FF0005"}, {1, "16"}, {2, "1EFF0003"}, {3, "20"}, {4, "20"}})}));
    QCOMPARE(readAllBytes(corvane("flash.tmp")), readAllBytes(corvane("work.tmp")));
    QVERIFY(!QFile::exists(corvane("moved.tmp")));

    // A list path that is the source spelled another way: one box.
    box("Listfile")->setText(root.file("scripts/../scripts/other.txt"));
    button("Readvelm")->click();
    QVERIFY(messages.size() == 1 && messages.first().contains("is the source file " + root.file("scripts/other.txt")));
    setMessageHandler(previous);
}

void TestFilegobbler::editCompileFollow()
{
    TestRoot root;
    const QByteArray example = readAllBytes(QStringLiteral(PVELM_SOURCE_DIR "/examples/address_blocks.txt"));
    QVERIFY(writeAllBytes(corvane("velm.txt"), example));
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
    child<QAction>(editor, "Compile")->trigger();
    // Saved with CR LF line ends, whatever the file had.
    QByteArray expected = example;
    expected.replace("\r\n", "\n").replace("\n", "\r\n").replace("DSR1 = 300", "WAIT\r\nDSR1 = 300");
    QCOMPARE(readAllBytes(corvane("velm.txt")), expected);
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
    const QByteArray hex = readAllBytes(corvane("flash.tmp"));
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
    child<QAction>(editor, "Compile")->trigger();
    QVERIFY(message->text().startsWith(QLatin1String("Not compiled: ")));

    // Changes are never lost. A character a single-byte file cannot hold
    // writes nothing.
    QStringList questions;
    Answer answer = Answer::Cancel;
    const QuestionHandler previousQuestion = setQuestionHandler([&](const QString &q) {
        questions << q;
        return answer;
    });
    QTextCursor(text->document()).insertText(QStringLiteral("/ 20\u20AC\n"));
    editor->save();
    QVERIFY(message->text().startsWith(QLatin1String("Not saved: line 1 ")));
    QCOMPARE(readAllBytes(corvane("velm.txt")), expected);
    text->undo();
    // Cancel keeps both windows open, whichever is closed.
    QTextCursor(text->document()).insertText(QStringLiteral("WAIT 5\n"));
    QVERIFY(!editor->close());
    QVERIFY(!converter.close());
    QCOMPARE(questions.size(), 2);
    QVERIFY(questions.first().contains(corvane("velm.txt")));
    QCOMPARE(readAllBytes(corvane("velm.txt")), expected);
    // Yes saves (through a file renamed over the old one) and lets the
    // converter close with its editor.
    answer = Answer::Yes;
    QPointer<ScriptEditor> open = editor;
    QVERIFY(converter.close());
    QCOMPARE(readAllBytes(corvane("velm.txt")), "WAIT 5\r\n" + expected);
    QTRY_VERIFY(!open);
    setQuestionHandler(previousQuestion);
    setMessageHandler(previous);
}

QTEST_MAIN(TestFilegobbler)
#include "tst_filegobbler.moc"
