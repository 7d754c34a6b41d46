// The script editor as the workbench, in the whole console on the virtual
// board, driven through its actions as the keys drive them: compile, run
// (compile, download, run), the two numberings side by side, errors that
// gate the download, run from the cursor, and a taught pose that compiles.

#include "app/ui/velmcon.h"
#include "compiler/ui/filegobbler.h"
#include "compiler/ui/scripteditor.h"
#include "editors/ui/positionbuilder.h"
#include "link/link.h"
#include "settings/hostpaths.h"
#include "sim/virtualboard.h"
#include "support/testenv.h"
#include "ui/messages.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTextBlock>
#include <QtTest>

using namespace pvelm;

namespace {

// Source lines 2-6 write program lines 0-4; the labels write none, and the
// last one is most likely a mistyped WAIT: a warning, not an error.
const QByteArray kScript = "CYCLE\r\nS1=1000\r\nWAIT 5\r\nS1=2000\r\nWAIT 5\r\nGOTO CYCLE\r\nWIAT 100\r\n";

// What the console sent, each write with its routine's name.
struct SentLog : LinkObserver
{
    void linkTraffic(Direction direction, const char *routine, const QByteArray &bytes) override
    {
        if (direction == Direction::Sent)
            sent << QByteArray(routine) + ' ' + bytes;
    }
    qsizetype count(const QByteArray &what) const
    {
        return std::count_if(sent.begin(), sent.end(), [&](const QByteArray &s) { return s.contains(what); });
    }
    QByteArrayList sent;
};

} // namespace

class TestWorkbench : public QObject
{
    Q_OBJECT

private slots:
    void loop();
};

void TestWorkbench::loop()
{
    TestRoot root;
    QVERIFY(writeAllBytes(hostpaths::toHost(QStringLiteral("c:\\Corvane\\velm.txt")), kScript));
    QStringList messages, questions;
    const MessageHandler previous = setMessageHandler([&](const QString &m) { messages << m; });
    const QuestionHandler previousQuestion = setQuestionHandler([&](const QString &q) {
        questions << q;
        return Answer::No;
    });
    sim::VirtualBoard board;
    QVERIFY(board.start());
    board.updateState([](sim::BoardState &s) { s.params[7] = 2; }); // a report every 20 ms
    Velmcon main;
    main.link().setPortOverride(board.devicePath());
    QVERIFY(main.Form_Load());
    main.link().setSecondMs(100);
    SentLog log;
    main.link().setObserver(&log);
    main.filegobblery_Click();
    filegobbler &converter = *main.findChild<filegobbler *>();
    converter.findChild<QPushButton *>(QStringLiteral("editscript"))->click();
    ScriptEditor *editor = converter.scriptEditor();
    editor->show();
    ScriptText *text = editor->text();
    auto action = [&](const char *name) { return editor->findChild<QAction *>(QLatin1String(name)); };
    auto *boardLine = editor->findChild<QLabel *>(QStringLiteral("boardLine"));
    auto *boardState = editor->findChild<QLabel *>(QStringLiteral("boardState"));

    // F7: the gutter shows the program line beside each line that writes one.
    action("Compile")->trigger();
    QList<qint64> gutter;
    for (int line = 1; line <= 6; ++line)
        gutter << text->programLine(line);
    QCOMPARE(gutter, (QList<qint64>{-1, 0, 1, 2, 3, 4}));
    auto *list = editor->findChild<QListWidget *>(QStringLiteral("diagnostics"));
    QCOMPARE(list->count(), 1);
    QVERIFY2(list->item(0)->text().startsWith(QLatin1String("Line 7: warning: ")), qPrintable(list->item(0)->text()));

    // F5 after a compile: downloads and runs from line 0; the status bar
    // follows the board. A run returns when the monitor ends: the first
    // report after the run packet is noted and Stop pressed.
    QString shownLine, shownState;
    QElapsedTimer waited;
    QTimer poll;
    QByteArray runPacket;
    connect(&poll, &QTimer::timeout, this, [&] {
        if (log.count(runPacket) == 0 || !boardState->text().startsWith(QLatin1String("Running"))) {
            if (waited.elapsed() < 5000)
                return;
        }
        shownLine = boardLine->text();
        shownState = boardState->text();
        poll.stop();
        action("Stop")->trigger();
    });
    auto stopWhenReported = [&](const QByteArray &packet) {
        runPacket = packet;
        waited.start();
        poll.start(5);
    };
    const QByteArray hex = readAllBytes(hostpaths::toHost(QStringLiteral("c:\\Corvane\\flash.tmp")));
    stopWhenReported("R05000000");
    action("Run")->trigger();
    QCOMPARE(log.count("R05000000"), 1);
    QCOMPARE(board.state().page(0).toHex().toUpper().left(512), hex.mid(5, 512));
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("^Board at line (\\d+) \\(source line (\\d+)\\)$")).match(shownLine);
    QVERIFY2(m.hasMatch(), qPrintable(shownLine));
    QCOMPARE(m.captured(2).toLongLong(), converter.compiler().sourceLines().sourceLine(m.captured(1).toLongLong()));
    QCOMPARE(shownState, QStringLiteral("Running, 0 - No errors"));
    QCOMPARE(QAccessible::queryAccessibleInterface(boardLine)->text(QAccessible::Name), boardLine->text());
    QCOMPARE(QAccessible::queryAccessibleInterface(boardState)->text(QAccessible::Name), boardState->text());

    // Run from Cursor: the board holds this program already, so only the
    // run goes out, at the program line of the cursor's source line.
    text->setTextCursor(QTextCursor(text->document()->findBlockByNumber(3))); // S1=2000
    const int pagesBefore = log.count("sendLineAndWait");
    stopWhenReported("R05000002");
    action("Run from Cursor")->trigger();
    QCOMPARE(log.count("sendLineAndWait"), pagesBefore);
    QCOMPARE(log.count("R05000002"), 1);

    // An error gates the download: the box's default, No, sends nothing,
    // and Run asks too.
    QTextCursor(text->document()->findBlockByNumber(2)).insertText(QStringLiteral("WAIT\n"));
    const qsizetype sentBefore = log.sent.size();
    const QuestionHandler recorder = setQuestionHandler({});
    QTimer::singleShot(
        0, this, [] { qobject_cast<QMessageBox *>(QApplication::activeModalWidget())->defaultButton()->click(); });
    QVERIFY(!editor->Download_Click());
    setQuestionHandler(recorder);
    action("Run")->trigger();
    QCOMPARE(questions, QStringList{QStringLiteral("The program has 1 errors. Download anyway?")});
    QCOMPARE(log.sent.size(), sentBefore);
    text->undo();

    // Insert Pose: the servos ticked "Use" in the Position Manager, read
    // from the board, as a line that compiles.
    board.updateState([](sim::BoardState &s) { s.positions = {1500, 1, 2300, 4, 5, 6, 7, 65535}; });
    main.posbuild_Click();
    auto *manager = main.findChild<positionbuilder *>();
    for (int k : {0, 2, 7})
        manager->findChild<QCheckBox *>(QStringLiteral("Use1(%1)").arg(k))->setChecked(true);
    text->setTextCursor(QTextCursor(text->document()->findBlockByNumber(4))); // WAIT 5
    action("Insert Pose")->trigger();
    QCOMPARE(text->document()->findBlockByNumber(5).text(), QStringLiteral("POSITION S1=1500, S3=2300, S8=65535"));
    action("Compile")->trigger();
    QCOMPARE(converter.compiler().counters().errorbumper, 0);
    QCOMPARE(text->programLine(6), 4);

    QVERIFY2(messages.isEmpty(), qPrintable(messages.join('\n')));
    main.link().setObserver(nullptr);
    setQuestionHandler(previousQuestion);
    setMessageHandler(previous);
}

QTEST_MAIN(TestWorkbench)
#include "tst_workbench.moc"
