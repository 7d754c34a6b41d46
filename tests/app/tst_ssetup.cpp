// The system setup window and its rules: how each box is fitted into the
// settings record (through velm setup set, which fits them the same way),
// the columns it never touches, the file replaced whole, the fatal
// messages, and Re-Connect.

#include "app/ui/messages.h"
#include "app/ui/ssetup.h"
#include "settings/hostpaths.h"
#include "settings/settings.h"
#include "support/testenv.h"

#include <sys/stat.h>

#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace pvelm;

class TestSsetup : public QObject
{
    Q_OBJECT

private slots:
    void fittingThroughVelmSetup()
    {
        // Each box fitted into its field, as Save Parameters and velm setup
        // set both fit them: serial fields behind their fill (the baud's is
        // 038400, not the default 057600) keeping the last characters, paths
        // right-aligned keeping their end. Header, reserved values and
        // filler of an odd record stay as they are.
        TestRoot root;
        QByteArray odd = SettingsRecord::defaultRecord();
        odd.replace(9, 16, "Someone else's  ");
        odd.replace(49, 36, QByteArray(36, '7'));
        odd.replace(99, 26, "3019200e72" + QByteArray(16, '9'));
        odd.replace(330, 100, QByteArray(100, '#'));
        QVERIFY(writeAllBytes(hostpaths::settingsFile(), odd));
        const VelmRun r = runVelm({"setup", "set", "comport=12", "combaud=300", "comparity=ev",
                                   "combits=", "comstopbits=", "comother=", "flashfileloc=f", "gfilebox=d:\\a b\\x.txt",
                                   "listfileloc=c:\\" + QString(40, 'x'), "flashmemfileloc=m"});
        QCOMPARE(r.exitCode, 0);
        QByteArray expected = odd;
        expected.replace(99, 26, "2400300v81" + QByteArray(16, '0'));
        expected.replace(199, 128,
                         QByteArray(31, ' ') + "f" + QByteArray(20, ' ') + "d:\\a b\\x.txt" + QByteArray(32, 'x') +
                             QByteArray(31, ' ') + "m");
        QCOMPARE(readAllBytes(hostpaths::settingsFile()), expected);
        // The fields are printed as the window shows them.
        QVERIFY(r.out.contains("comport=2\ncombaud=400300\ncomparity=v\ncombits=8\ncomstopbits=1\ncomother=" +
                               QByteArray(16, '0') + "\ngfilebox=" + QByteArray(20, ' ') + "d:\\a b\\x.txt\n"));
        QCOMPARE(runVelm({"setup", "set", "baud=1"}).exitCode, 2);
    }

    void windowReadSaveReconnect()
    {
        TestRoot root;
        SettingsRecord record;
        QVERIFY(loadSettings(record).ok);
        int reconnects = 0, ends = 0;
        QStringList messages;
        const MessageHandler previous = setMessageHandler([&](const QString &text) { messages << text; });
        ssetup window(record, {[&] { ++reconnects; }, [&] { ++ends; }}, nullptr);
        auto box = [&](const char *name) { return window.findChild<QLineEdit *>(QLatin1String(name)); };
        auto click = [&](const char *name) { window.findChild<QPushButton *>(QLatin1String(name))->click(); };
        QCOMPARE(box("combaud")->text(), QStringLiteral("057600"));

        // Save replaces the file through a rename: a hard link to the old
        // file still holds the old record, as it would after a crash.
        const QString file = hostpaths::settingsFile();
        const QString before = root.file("before.ovh");
        QVERIFY(::link(QFile::encodeName(file).constData(), QFile::encodeName(before).constData()) == 0);
        box("combaud")->setText("9600");
        click("Saveparams");
        QCOMPARE(readAllBytes(file).mid(100, 6), QByteArray("009600"));
        QCOMPARE(readAllBytes(before), SettingsRecord::defaultRecord());

        // Read Parameters shows what the file holds now; Re-Connect asks
        // for the port.
        QVERIFY(writeAllBytes(file, readAllBytes(file).replace(99, 1, "4")));
        click("loadparam");
        QCOMPARE(box("comport")->text(), QStringLiteral("4"));
        click("Command2");
        QCOMPARE(reconnects, 1);

        // The file gone: the fatal messages, and the program ends after each.
        QVERIFY(QFile::remove(file) && QFile::remove(before));
        click("Saveparams");
        click("loadparam");
        QCOMPARE(messages, QStringList({kSettingsWriteFatalMessage, kSettingsFatalMessage}));
        QCOMPARE(ends, 2);
        QVERIFY(!QFile::exists(file));
        setMessageHandler(previous);
    }
};

QTEST_MAIN(TestSsetup)
#include "tst_ssetup.moc"
