// The compiler window driven offscreen: its controls and the paths it takes
// from the settings record, one whole compile on real files, a failure and the state
// of its buttons, paths edited between compiles, and its place in the main
// menu.

#include "app/ui/messages.h"
#include "app/ui/velmcon.h"
#include "compilehelpers.h"
#include "compiler/ui/filegobbler.h"
#include "link/link.h"
#include "settings/hostpaths.h"
#include "settings/settings.h"

#include <memory>

#include <QAction>
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
    void compileOnFiles();
    void failureReenablesButtons();
    void pathsEditedBetweenCompiles();
    void openedOnceFromTheMenu();

private:
    void openWindow();
    template <typename T> T *child(const char *name) const { return m_window->findChild<T *>(QLatin1String(name)); }
    QString text(const char *name) const { return child<QLineEdit>(name)->text(); }
    bool enabled(const char *button) const { return child<QPushButton>(button)->isEnabled(); }
    QStringList counters() const
    {
        QStringList values;
        for (const char *name :
             {"goodlines", "errorbumper", "blanklines", "callcount", "returncount", "docount", "loopcount"})
            values << child<QLabel>(name)->text();
        return values;
    }

    std::unique_ptr<TestRoot> m_root;
    QStringList m_messages;
    QStringList m_buttonsAtMessage; // whether either button was on when each message was shown
    MessageHandler m_previousHandler;
    SettingsRecord m_settings;
    std::unique_ptr<Link> m_link;
    std::unique_ptr<filegobbler> m_window;
};

void TestFilegobbler::init()
{
    m_root = std::make_unique<TestRoot>();
    QVERIFY(QDir().mkpath(m_root->file("drive_c/Corvane")));
    m_messages.clear();
    m_buttonsAtMessage.clear();
    // Messages are recorded instead of opening a box.
    m_previousHandler = setMessageHandler([this](const QString &text) {
        m_messages << text;
        if (m_window)
            m_buttonsAtMessage << QString(enabled("Readvelm") || enabled("toflash") ? "on" : "off");
    });
    m_settings = SettingsRecord();
    m_link = std::make_unique<Link>();
    m_link->setSettings(&m_settings);
}

void TestFilegobbler::cleanup()
{
    m_window.reset();
    m_link.reset();
    setMessageHandler(m_previousHandler);
    m_root.reset();
}

void TestFilegobbler::openWindow()
{
    m_window = std::make_unique<filegobbler>(*m_link, m_settings, nullptr);
}

void TestFilegobbler::controls()
{
    // The paths come from the settings record with every blank removed.
    m_settings.setPath(SettingsRecord::kScriptPathColumn, "d:\\My Scripts\\arm.txt");
    m_settings.setPath(SettingsRecord::kListPathColumn, "d:\\out\\my list.txt");
    openWindow();
    QCOMPARE(text("SourceFile"), QStringLiteral("d:\\MyScripts\\arm.txt"));
    QCOMPARE(text("tempfile"), QStringLiteral("c:\\Corvane\\premerged.tmp"));
    QCOMPARE(text("Listfile"), QStringLiteral("d:\\out\\mylist.txt"));
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Velm Converter & Downloader"));
    // Each path box sits in its frame and is named by the frame's caption.
    for (const auto &[name, caption] : {std::pair{"SourceFile", "Source path and file  (32 chars max)"},
                                        {"tempfile", "Temporary file and path"},
                                        {"Listfile", "List file and path"}}) {
        auto *box = child<QLineEdit>(name);
        QVERIFY2(box, name);
        QCOMPARE(qobject_cast<QGroupBox *>(box->parentWidget())->title(), QLatin1String(caption));
        QCOMPARE(box->accessibleName(), QLatin1String(caption));
    }
    // The counters start at 0, each beside its caption, blanks and spelling
    // included.
    QStringList labelTexts;
    for (QLabel *l : m_window->findChildren<QLabel *>())
        labelTexts << l->text();
    for (const char *caption : {"Lines converted:", "Errors / Warnings:", "Lines with no data:", "    Number of calls:",
                                "Number of retunrs:", "             Do count:", "  Loop count:",
                                "Read in Velm file and convert to temporary hex file for download."})
        QVERIFY2(labelTexts.contains(QLatin1String(caption)), caption);
    QCOMPARE(counters(), QStringList(7, "0"));
    auto *readvelm = child<QPushButton>("Readvelm");
    QCOMPARE(readvelm->text(), QStringLiteral("Read Velm File"));
    QCOMPARE(qobject_cast<QGroupBox *>(readvelm->parentWidget())->title(), QStringLiteral("Convert Velm file to HEX"));
    QCOMPARE(child<QPushButton>("toflash")->text(), QStringLiteral("Write to Flash"));
    QVERIFY(enabled("Readvelm"));
    QVERIFY(enabled("toflash"));
}

void TestFilegobbler::compileOnFiles()
{
    // The worked example, with a single-byte character in its comment and
    // no line end after its last line.
    QVERIFY(writeAllBytes(corvane("velm.txt"), "/ pick up the p\xE9"
                                               "ce\r\nADDRESS 16\r\nSTART\r\nS1 = 1500\r\nWAIT "
                                               "250\r\nGOTO START"));
    openWindow();
    child<QPushButton>("Readvelm")->click();
    QCOMPARE(m_messages, QStringList());
    QCOMPARE(counters(), (QStringList{"3", "0", "1", "0", "0", "0", "0"}));
    QCOMPARE(child<QPlainTextEdit>("output1")->toPlainText(),
             QString::fromLatin1("/ pick up the p\xE9"
                                 "ce\nADDRESS 16\nSTART\nS1 = 1500\nWAIT 250\nGOTO START\n"));
    QCOMPARE(readAllBytes(corvane("flash.tmp")),
             crlf({pageLine(1, {{0, "500105DC"}, {1, "28FF00FA"}, {2, "0AFF0010"}})}));
    QVERIFY(readAllBytes(corvane("list.txt")).startsWith("16 label: START 16\r\n"));
    QVERIFY(enabled("Readvelm"));

    // A second compile of a changed file replaces the counters and the echo.
    QVERIFY(writeAllBytes(corvane("velm.txt"), crlf({"CALL 5", "RETURN", "DO 3", "LOOP", "LOOP", "GOTO NOWHERE"})));
    child<QPushButton>("Readvelm")->click();
    QCOMPARE(counters(), (QStringList{"5", "1", "0", "1", "1", "1", "2"}));
    QCOMPARE(child<QPlainTextEdit>("output1")->toPlainText(),
             QStringLiteral("CALL 5\nRETURN\nDO 3\nLOOP\nLOOP\nGOTO NOWHERE\n"));
}

void TestFilegobbler::failureReenablesButtons()
{
    // No source file: one message for each pass, shown while both buttons
    // are off; afterwards the compile button is back, and the program of an
    // earlier compile is not left for the download.
    QVERIFY(writeAllBytes(corvane("flash.tmp"), crlf({pageLine(0, {{0, "28FF0001"}})})));
    openWindow();
    child<QPushButton>("Readvelm")->click();
    const QString atZero = QString::fromLatin1(compiler::kFailureMessage) + "0";
    QCOMPARE(m_messages, (QStringList{atZero, atZero}));
    QCOMPARE(m_buttonsAtMessage, (QStringList{"off", "off"}));
    QVERIFY(enabled("Readvelm"));
    QVERIFY(enabled("toflash"));
    QVERIFY(!QFile::exists(corvane("flash.tmp")));
}

void TestFilegobbler::pathsEditedBetweenCompiles()
{
    QVERIFY(writeAllBytes(m_root->file("scripts/other.txt"), crlf({"WAIT 7", "STOP"})));
    openWindow();
    // The setup window changes the record while this window is open: the
    // temp hex path stays as it was at load, the boxes are read at each pass.
    m_settings.setPath(SettingsRecord::kTempHexPathColumn, "c:\\Corvane\\moved.tmp");
    // Windows paths (any case) and host paths both work in the boxes.
    child<QLineEdit>("SourceFile")->setText(m_root->file("scripts/other.txt"));
    child<QLineEdit>("Listfile")->setText("C:\\CORVANE\\Second.txt");
    child<QLineEdit>("tempfile")->setText("c:\\Corvane\\work.tmp");
    child<QPushButton>("Readvelm")->click();
    QCOMPARE(m_messages, QStringList());
    QVERIFY(readAllBytes(m_root->file("drive_c/Corvane/Second.txt")).startsWith("0 Wait 0007\r\n1 Stop\r\n"));
    QCOMPARE(readAllBytes(corvane("work.tmp")), crlf({pageLine(0, {{0, "28FF0007"}, {1, "80"}})}));
    QCOMPARE(readAllBytes(corvane("flash.tmp")), readAllBytes(corvane("work.tmp")));
    QVERIFY(!QFile::exists(corvane("moved.tmp")));
}

void TestFilegobbler::openedOnceFromTheMenu()
{
    QVERIFY(closePortOne());
    Velmcon velmcon;
    QVERIFY(velmcon.Form_Load());
    velmcon.settings().setPath(SettingsRecord::kScriptPathColumn, "c:\\Corvane\\cycle.txt");
    QAction *item = velmcon.findChild<QAction *>("filegobblery");
    auto open = [&] {
        QList<filegobbler *> visible;
        for (filegobbler *w : velmcon.findChildren<filegobbler *>(Qt::FindDirectChildrenOnly))
            if (w->isVisible())
                visible << w;
        return visible;
    };
    auto source = [](filegobbler *w) { return w->findChild<QLineEdit *>("SourceFile"); };

    item->trigger();
    QCOMPARE(open().size(), 1);
    QPointer<filegobbler> first = open().first();
    QCOMPARE(source(first)->text(), QStringLiteral("c:\\Corvane\\cycle.txt"));
    source(first)->setText("typed");
    item->trigger();
    QCOMPARE(open(), QList<filegobbler *>{first});
    QCOMPARE(source(first)->text(), QStringLiteral("typed"));

    // Closed, it goes away; the next one loads afresh.
    QVERIFY(first->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(first.isNull());
    item->trigger();
    QCOMPARE(open().size(), 1);
    QCOMPARE(source(open().first())->text(), QStringLiteral("c:\\Corvane\\cycle.txt"));
}

QTEST_MAIN(TestFilegobbler)
#include "tst_filegobbler.moc"
