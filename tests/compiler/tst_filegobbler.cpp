// The compiler window driven offscreen: what it takes from the settings
// record, one whole compile on real files, failures and the state of its
// buttons, paths edited between compiles, and its place in the main menu.

#include "app/hostpaths.h"
#include "app/settings.h"
#include "app/ui/messages.h"
#include "app/ui/velmcon.h"
#include "compilehelpers.h"
#include "compiler/demoprogram.h"
#include "compiler/ui/filegobbler.h"
#include "link/link.h"
#include "support/testenv.h"

#include <memory>

#include <QAction>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QtTest>

using namespace pvelm;
using compilertest::crlf;
using compilertest::pageLine;

namespace {

const QString kFailure = QString::fromLatin1(compiler::kFailureMessage);

const char *const kCounters[] = {"goodlines",   "errorbumper", "blanklines", "callcount",
                                 "returncount", "docount",     "loopcount"};

// Records every message instead of opening a box, with the state of the
// window's two buttons at that moment.
class MessageRecorder
{
public:
    MessageRecorder()
    {
        m_previous = setMessageHandler([this](const QString &text) {
            messages << text;
            if (window)
                buttonsAtMessage << QStringLiteral("%1/%2").arg(enabled("Readvelm"), enabled("toflash"));
        });
    }
    ~MessageRecorder() { setMessageHandler(m_previous); }

    QString enabled(const char *button) const
    {
        return window->findChild<QPushButton *>(QLatin1String(button))->isEnabled() ? "on" : "off";
    }

    QStringList messages;
    QStringList buttonsAtMessage;
    QPointer<QWidget> window;

private:
    MessageHandler m_previous;
};

QString corvane(const QString &name)
{
    return hostpaths::toHost(QStringLiteral("c:\\Corvane\\") + name);
}

// Port 1 leads nowhere, so a main window starts with its port closed
// whatever serial devices the machine has.
bool closePortOne()
{
    QDir().mkpath(QFileInfo(hostpaths::dosDeviceLink(1)).absolutePath());
    return QFile::link(hostpaths::root() + QStringLiteral("/no-such-tty"), hostpaths::dosDeviceLink(1));
}

} // namespace

class TestFilegobbler : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void controls();
    void loadTakesPathsFromSettings_data();
    void loadTakesPathsFromSettings();
    void workedExample();
    void echoShowsSourceLines_data();
    void echoShowsSourceLines();
    void failures_data();
    void failures();
    void pathsEditedBetweenCompiles();
    void tempHexPathFixedAtLoad();
    void openedOnceFromTheMenu();
    void demoProgramOnFirstStart_data();
    void demoProgramOnFirstStart();

private:
    filegobbler *openWindow();
    void readVelmFile() { m_window->findChild<QPushButton *>("Readvelm")->click(); }
    QString text(const char *name) const { return m_window->findChild<QLineEdit *>(QLatin1String(name))->text(); }
    void setText(const char *name, const QString &text)
    {
        m_window->findChild<QLineEdit *>(QLatin1String(name))->setText(text);
    }
    QStringList counters() const
    {
        QStringList values;
        for (const char *name : kCounters)
            values << m_window->findChild<QLabel *>(QLatin1String(name))->text();
        return values;
    }
    QString echo() const { return m_window->findChild<QPlainTextEdit *>("output1")->toPlainText(); }

    std::unique_ptr<TestRoot> m_root;
    std::unique_ptr<MessageRecorder> m_recorder;
    SettingsRecord m_settings;
    std::unique_ptr<Link> m_link;
    std::unique_ptr<filegobbler> m_window;
};

void TestFilegobbler::init()
{
    m_root = std::make_unique<TestRoot>();
    QVERIFY(QDir().mkpath(m_root->file("drive_c/Corvane")));
    m_recorder = std::make_unique<MessageRecorder>();
    m_settings = SettingsRecord();
    m_link = std::make_unique<Link>();
    m_link->setSettings(&m_settings);
}

void TestFilegobbler::cleanup()
{
    m_window.reset();
    m_link.reset();
    m_recorder.reset();
    m_root.reset();
}

filegobbler *TestFilegobbler::openWindow()
{
    m_window = std::make_unique<filegobbler>(*m_link, m_settings, nullptr);
    m_recorder->window = m_window.get();
    return m_window.get();
}

void TestFilegobbler::controls()
{
    openWindow();
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Velm Converter & Downloader"));

    // Each path box sits in its frame and is named by the frame's caption.
    const QList<QPair<const char *, QString>> boxes = {
        {"SourceFile", "Source path and file  (32 chars max)"},
        {"tempfile", "Temporary file and path"},
        {"Listfile", "List file and path"},
    };
    for (const auto &[name, caption] : boxes) {
        auto *box = m_window->findChild<QLineEdit *>(QLatin1String(name));
        QVERIFY2(box, name);
        auto *frame = qobject_cast<QGroupBox *>(box->parentWidget());
        QVERIFY2(frame, name);
        QCOMPARE(frame->title(), caption);
        QCOMPARE(box->accessibleName(), caption);
    }

    // The counters start at 0, each beside its caption as the operator
    // knows it, blanks and spelling included.
    const QStringList captions = {
        "Lines converted:",   "Errors / Warnings:",     "Lines with no data:", "    Number of calls:",
        "Number of retunrs:", "             Do count:", "  Loop count:"};
    QStringList labelTexts;
    for (QLabel *l : m_window->findChildren<QLabel *>())
        labelTexts << l->text();
    for (const QString &caption : captions)
        QVERIFY2(labelTexts.contains(caption), qPrintable(caption));
    QCOMPARE(counters(), QStringList(7, "0"));
    QVERIFY(labelTexts.contains("Read in Velm file and convert to temporary hex file for download."));

    auto *readvelm = m_window->findChild<QPushButton *>("Readvelm");
    auto *toflash = m_window->findChild<QPushButton *>("toflash");
    QCOMPARE(readvelm->text(), QStringLiteral("Read Velm File"));
    QCOMPARE(qobject_cast<QGroupBox *>(readvelm->parentWidget())->title(), QStringLiteral("Convert Velm file to HEX"));
    QCOMPARE(toflash->text(), QStringLiteral("Write to Flash"));
    QVERIFY(readvelm->isEnabled());
    // No download yet: the button is there, says why it does nothing, and
    // enabling the file buttons does not wake it.
    QVERIFY(!toflash->isEnabled());
    QVERIFY(!toflash->toolTip().isEmpty());
    m_window->enableFileButtons();
    QCOMPARE(toflash->isEnabled(), filegobbler::kDownloadAvailable);
    m_window->disableFileButtons();
    QVERIFY(!readvelm->isEnabled());
    m_window->enableFileButtons();
    QVERIFY(readvelm->isEnabled());
}

void TestFilegobbler::loadTakesPathsFromSettings_data()
{
    QTest::addColumn<QString>("scriptSetting");
    QTest::addColumn<QString>("listSetting");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("list");
    QTest::newRow("defaults") << QString() << QString() << "c:\\Corvane\\velm.txt"
                              << "c:\\Corvane\\list.txt";
    QTest::newRow("blanks inside are removed") << "d:\\My Scripts\\arm.txt"
                                               << "d:\\out\\my list.txt"
                                               << "d:\\MyScripts\\arm.txt"
                                               << "d:\\out\\mylist.txt";
    QTest::newRow("host paths") << "/tmp/a.txt"
                                << "/tmp/b.txt"
                                << "/tmp/a.txt"
                                << "/tmp/b.txt";
}

void TestFilegobbler::loadTakesPathsFromSettings()
{
    QFETCH(QString, scriptSetting);
    QFETCH(QString, listSetting);
    QFETCH(QString, source);
    QFETCH(QString, list);
    if (!scriptSetting.isEmpty())
        m_settings.setPath(SettingsRecord::kScriptPathColumn, scriptSetting);
    if (!listSetting.isEmpty())
        m_settings.setPath(SettingsRecord::kListPathColumn, listSetting);

    openWindow();
    QCOMPARE(text("SourceFile"), source);
    QCOMPARE(text("tempfile"), QStringLiteral("c:\\Corvane\\premerged.tmp"));
    QCOMPARE(text("Listfile"), list);
    QCOMPARE(echo(), QString());
}

void TestFilegobbler::workedExample()
{
    const QByteArray source =
        crlf({"/ pick up the part", "ADDRESS 16", "START", "S1 = 1500", "WAIT 250", "GOTO START"});
    QVERIFY(writeAllBytes(corvane("velm.txt"), source));
    openWindow();
    readVelmFile();

    QCOMPARE(m_recorder->messages, QStringList());
    QCOMPARE(counters(), (QStringList{"3", "0", "1", "0", "0", "0", "0"}));
    QCOMPARE(echo(), QStringLiteral("/ pick up the part\nADDRESS 16\nSTART\nS1 = 1500\nWAIT 250\nGOTO START\n"));
    QCOMPARE(readAllBytes(corvane("list.txt")),
             crlf({"16 label: START 16", "16 Set Servo 1 to 01500", "17 Wait 0250", "18 Goto Line number: 00016",
                   "***************** REPORT ****************", "Number of good lines  3", "Number of blank lines  1",
                   "Number of Errors & Warnings  0", "Number of Calls  0  Number of returns  0",
                   "Number of Dos  0  Number of loops  0"}));
    const QByteArray page = pageLine(1, {{0, "500105DC"}, {1, "28FF00FA"}, {2, "0AFF0010"}});
    QCOMPARE(readAllBytes(corvane("flash.tmp")), page + "\r\n");
    QCOMPARE(readAllBytes(corvane("premerged.tmp")), page + "\r\n");
    QVERIFY(QFile::exists(corvane("fixup.tmp")));
    QVERIFY(QFile::exists(corvane("fixup1.tmp")));
    QVERIFY(m_window->findChild<QPushButton *>("Readvelm")->isEnabled());

    // A second compile of a changed file replaces the counters and the echo.
    QVERIFY(writeAllBytes(corvane("velm.txt"), crlf({"CALL 5", "RETURN", "DO 3", "LOOP", "LOOP", "GOTO NOWHERE"})));
    readVelmFile();
    QCOMPARE(counters(), (QStringList{"5", "1", "0", "1", "1", "1", "2"}));
    QCOMPARE(echo(), QStringLiteral("CALL 5\nRETURN\nDO 3\nLOOP\nLOOP\nGOTO NOWHERE\n"));
}

void TestFilegobbler::echoShowsSourceLines_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QString>("shown");
    QTest::newRow("LF line ends") << QByteArray("WAIT 1\nSTOP\n") << "WAIT 1\nSTOP\n";
    QTest::newRow("CR line ends") << QByteArray("WAIT 1\rSTOP\r") << "WAIT 1\nSTOP\n";
    QTest::newRow("no line end at the end") << QByteArray("WAIT 1\r\nSTOP") << "WAIT 1\nSTOP\n";
    QTest::newRow("blank lines kept") << QByteArray("\r\n\r\nSTOP\r\n") << "\n\nSTOP\n";
    QTest::newRow("single-byte text") << QByteArray("/ r\xE9glage \xB0\r\nSTOP\r\n")
                                      << QString::fromUtf8("/ r\u00E9glage \u00B0\nSTOP\n");
    QTest::newRow("empty file") << QByteArray() << QString();
}

void TestFilegobbler::echoShowsSourceLines()
{
    QFETCH(QByteArray, source);
    QFETCH(QString, shown);
    QVERIFY(writeAllBytes(corvane("velm.txt"), source));
    openWindow();
    readVelmFile();
    QCOMPARE(m_recorder->messages, QStringList());
    QCOMPARE(echo(), shown);
}

void TestFilegobbler::failures_data()
{
    // What is broken: "source" (no source file), a path box pointed at a
    // folder, or a merge work file that cannot be created.
    QTest::addColumn<QString>("broken");
    QTest::addColumn<QStringList>("messages");
    const QString atZero = kFailure + "0";
    QTest::newRow("missing source: once per pass") << "source" << QStringList{atZero, atZero};
    QTest::newRow("list path unwritable: once per pass") << "Listfile" << QStringList{atZero, atZero};
    QTest::newRow("premerged path unwritable: once per pass") << "tempfile" << QStringList{atZero, atZero};
    QTest::newRow("merge fails: once") << "fixup.tmp" << QStringList{kFailure + "1"};
}

void TestFilegobbler::failures()
{
    QFETCH(QString, broken);
    QFETCH(QStringList, messages);

    if (broken != "source")
        QVERIFY(writeAllBytes(corvane("velm.txt"), crlf({"STOP"})));
    QVERIFY(writeAllBytes(corvane("flash.tmp"), pageLine(0, {{0, "28FF0001"}}) + "\r\n"));
    openWindow();
    const QString folder = m_root->file("drive_c/Corvane/a-folder");
    QVERIFY(QDir().mkpath(folder));
    if (broken == "fixup.tmp")
        QVERIFY(QDir().mkpath(corvane("fixup.tmp")));
    else if (broken != "source")
        setText(broken.toLatin1(), folder);

    readVelmFile();
    QCOMPARE(m_recorder->messages, messages);
    // Both buttons were off while the compile ran; afterwards the compile
    // button is back and the download button waits for the download.
    QCOMPARE(m_recorder->buttonsAtMessage, QStringList(messages.size(), "off/off"));
    QVERIFY(m_window->findChild<QPushButton *>("Readvelm")->isEnabled());
    QCOMPARE(m_window->findChild<QPushButton *>("toflash")->isEnabled(), filegobbler::kDownloadAvailable);
    // The program of an earlier compile is not left for the download.
    QCOMPARE(readAllBytes(corvane("flash.tmp")), QByteArray());

    // Once the path is right again the next compile goes through.
    m_recorder->messages.clear();
    QVERIFY(writeAllBytes(corvane("velm.txt"), crlf({"STOP"})));
    QDir(corvane("fixup.tmp")).removeRecursively();
    if (broken != "source" && broken != "fixup.tmp")
        setText(broken.toLatin1(), broken == "Listfile" ? "c:\\Corvane\\list.txt" : "c:\\Corvane\\premerged.tmp");
    readVelmFile();
    QCOMPARE(m_recorder->messages, QStringList());
    QCOMPARE(readAllBytes(corvane("flash.tmp")), pageLine(0, {{0, "80"}}) + "\r\n");
}

void TestFilegobbler::pathsEditedBetweenCompiles()
{
    QVERIFY(writeAllBytes(corvane("velm.txt"), crlf({"STOP"})));
    QVERIFY(writeAllBytes(m_root->file("scripts/other.txt"), crlf({"WAIT 7", "STOP"})));
    openWindow();
    readVelmFile();
    const QByteArray firstList = readAllBytes(corvane("list.txt"));
    QVERIFY(firstList.startsWith("0 Stop\r\n"));

    // Windows paths (any case) and host paths both work in the boxes.
    setText("SourceFile", m_root->file("scripts/other.txt"));
    setText("Listfile", "C:\\CORVANE\\Second.txt");
    setText("tempfile", "c:\\Corvane\\work.tmp");
    readVelmFile();
    QCOMPARE(m_recorder->messages, QStringList());
    QCOMPARE(readAllBytes(corvane("list.txt")), firstList);
    QVERIFY(readAllBytes(m_root->file("drive_c/Corvane/Second.txt")).startsWith("0 Wait 0007\r\n1 Stop\r\n"));
    QCOMPARE(readAllBytes(corvane("work.tmp")), pageLine(0, {{0, "28FF0007"}, {1, "80"}}) + "\r\n");
    QCOMPARE(readAllBytes(corvane("flash.tmp")), readAllBytes(corvane("work.tmp")));
}

void TestFilegobbler::tempHexPathFixedAtLoad()
{
    QVERIFY(writeAllBytes(corvane("velm.txt"), crlf({"STOP"})));
    openWindow();
    // The setup window changes the record while the compiler window is open.
    m_settings.setPath(SettingsRecord::kTempHexPathColumn, "c:\\Corvane\\moved.tmp");
    m_settings.setPath(SettingsRecord::kListPathColumn, "c:\\Corvane\\moved.txt");
    readVelmFile();
    QVERIFY(QFile::exists(corvane("flash.tmp")));
    QVERIFY(QFile::exists(corvane("list.txt")));
    QVERIFY(!QFile::exists(corvane("moved.tmp")));
    QVERIFY(!QFile::exists(corvane("moved.txt")));

    // A window loaded afterwards takes the new paths.
    QFile::remove(corvane("flash.tmp"));
    openWindow();
    QCOMPARE(text("Listfile"), QStringLiteral("c:\\Corvane\\moved.txt"));
    readVelmFile();
    QVERIFY(QFile::exists(corvane("moved.tmp")));
    QVERIFY(!QFile::exists(corvane("flash.tmp")));
}

void TestFilegobbler::openedOnceFromTheMenu()
{
    QVERIFY(closePortOne());
    Velmcon velmcon;
    QVERIFY(velmcon.Form_Load());
    m_recorder->messages.clear(); // the closed port's message
    velmcon.settings().setPath(SettingsRecord::kScriptPathColumn, "c:\\Corvane\\cycle.txt");
    QAction *item = velmcon.findChild<QAction *>("filegobblery");
    auto open = [&] {
        QList<filegobbler *> visible;
        for (filegobbler *w : velmcon.findChildren<filegobbler *>(Qt::FindDirectChildrenOnly))
            if (w->isVisible())
                visible << w;
        return visible;
    };

    item->trigger();
    QCOMPARE(open().size(), 1);
    QPointer<filegobbler> first = open().first();
    QCOMPARE(first->findChild<QLineEdit *>("SourceFile")->text(), QStringLiteral("c:\\Corvane\\cycle.txt"));
    first->findChild<QLineEdit *>("SourceFile")->setText("typed");
    item->trigger();
    QCOMPARE(open(), QList<filegobbler *>{first});
    QCOMPARE(first->findChild<QLineEdit *>("SourceFile")->text(), QStringLiteral("typed"));

    QVERIFY(first->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(first.isNull());
    item->trigger();
    QCOMPARE(open().size(), 1);
    QCOMPARE(open().first()->findChild<QLineEdit *>("SourceFile")->text(), QStringLiteral("c:\\Corvane\\cycle.txt"));
}

void TestFilegobbler::demoProgramOnFirstStart_data()
{
    QTest::addColumn<QByteArray>("existing");
    QTest::addColumn<bool>("written");
    QTest::newRow("no source file yet") << QByteArray() << true;
    QTest::newRow("the operator's file is kept") << QByteArray("WAIT 1\r\n") << false;
}

void TestFilegobbler::demoProgramOnFirstStart()
{
    QFETCH(QByteArray, existing);
    QFETCH(bool, written);
    // The settings name a folder that does not exist yet.
    SettingsRecord record;
    record.setPath(SettingsRecord::kScriptPathColumn, "c:\\Velm\\Demo\\first.txt");
    QVERIFY(writeAllBytes(hostpaths::settingsFile(), record.bytes()));
    const QString source = hostpaths::toHost("c:\\Velm\\Demo\\first.txt");
    if (!existing.isEmpty())
        QVERIFY(writeAllBytes(source, existing));
    QVERIFY(closePortOne());

    Velmcon velmcon;
    QVERIFY(velmcon.Form_Load());
    QCOMPARE(velmcon.installDemoProgram(), written);
    if (!written) {
        QCOMPARE(readAllBytes(source), existing);
        return;
    }
    QVERIFY(velmcon.statusBar()->currentMessage().contains("c:\\Velm\\Demo\\first.txt"));
    QByteArray expected = compiler::demoProgram();
    QCOMPARE(readAllBytes(source), expected.replace("\n", "\r\n"));
    QVERIFY(!velmcon.installDemoProgram());

    // And a newcomer's first compile of it is clean.
    velmcon.findChild<QAction *>("filegobblery")->trigger();
    auto *window = velmcon.findChild<filegobbler *>();
    m_recorder->messages.clear();
    m_recorder->window = window;
    window->findChild<QPushButton *>("Readvelm")->click();
    QCOMPARE(m_recorder->messages, QStringList());
    QCOMPARE(window->findChild<QLabel *>("errorbumper")->text(), QStringLiteral("0"));
    QVERIFY(window->findChild<QLabel *>("goodlines")->text().toInt() > 20);
    QVERIFY(QFile::exists(corvane("flash.tmp")));
}

QTEST_MAIN(TestFilegobbler)
#include "tst_filegobbler.moc"
