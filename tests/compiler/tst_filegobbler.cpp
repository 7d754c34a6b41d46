// The compiler window driven offscreen on real files, in one run: its
// controls and the paths it takes from the settings record, a failed compile
// and the state of its buttons, a whole compile, and paths edited between
// compiles.

#include "app/ui/messages.h"
#include "compilehelpers.h"
#include "compiler/ui/filegobbler.h"
#include "link/link.h"
#include "settings/hostpaths.h"
#include "settings/settings.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

using namespace pvelm;
using compilertest::crlf;
using compilertest::pageLine;

namespace {

QString corvane(const QString &name)
{
    return hostpaths::toHost(QStringLiteral("c:\\Corvane\\") + name);
}

} // namespace

class TestFilegobbler : public QObject
{
    Q_OBJECT

private slots:
    void convert();
};

void TestFilegobbler::convert()
{
    TestRoot root;
    QVERIFY(QDir().mkpath(root.file("drive_d/out")));
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

    // The worked example, with a single-byte character in its comment and
    // no line end after its last line.
    QVERIFY(writeAllBytes(root.file("drive_d/MyScripts/arm.txt"), "/ pick up the p\xE9"
                                                                  "ce\r\nADDRESS 16\r\nSTART\r\nS1 = 1500\r\nWAIT "
                                                                  "250\r\nGOTO START"));
    button("Readvelm")->click();
    QCOMPARE(messages, QStringList());
    QCOMPARE(counters(), (QStringList{"3", "0", "1", "0", "0", "0", "0"}));
    QCOMPARE(echo(), QString::fromLatin1("/ pick up the p\xE9"
                                         "ce\nADDRESS 16\nSTART\nS1 = 1500\nWAIT 250\nGOTO START\n"));
    QCOMPARE(readAllBytes(corvane("flash.tmp")),
             crlf({pageLine(1, {{0, "500105DC"}, {1, "28FF00FA"}, {2, "0AFF0010"}})}));
    QVERIFY(readAllBytes(root.file("drive_d/out/mylist.txt")).startsWith("16 label: START 16\r\n"));

    // The setup window changes the record while this window is open: the
    // temp hex path stays as it was at load, the boxes are read at each pass
    // (Windows paths in any case, or host paths), and the second compile
    // replaces the counters and the echo.
    QVERIFY(writeAllBytes(root.file("scripts/other.txt"),
                          crlf({"CALL 5", "RETURN", "DO 3", "LOOP", "LOOP", "GOTO NOWHERE"})));
    settings.setPath(SettingsRecord::kTempHexPathColumn, "c:\\Corvane\\moved.tmp");
    box("SourceFile")->setText(root.file("scripts/other.txt"));
    box("Listfile")->setText("C:\\CORVANE\\Second.txt");
    box("tempfile")->setText("c:\\Corvane\\work.tmp");
    button("Readvelm")->click();
    QCOMPARE(messages, QStringList());
    QCOMPARE(counters(), (QStringList{"5", "1", "0", "1", "1", "1", "2"}));
    QCOMPARE(echo(), QStringLiteral("CALL 5\nRETURN\nDO 3\nLOOP\nLOOP\nGOTO NOWHERE\n"));
    QVERIFY(readAllBytes(root.file("drive_c/Corvane/Second.txt"))
                .startsWith("0 Call Line number: 00005\r\n1 Return from Subprogram\r\n"));
    QCOMPARE(readAllBytes(corvane("work.tmp")),
             crlf({pageLine(0, {{0, "14FF0005"}, {1, "16"}, {2, "1EFF0003"}, {3, "20"}, {4, "20"}})}));
    QCOMPARE(readAllBytes(corvane("flash.tmp")), readAllBytes(corvane("work.tmp")));
    QVERIFY(!QFile::exists(corvane("moved.tmp")));
    setMessageHandler(previous);
}

QTEST_MAIN(TestFilegobbler)
#include "tst_filegobbler.moc"
