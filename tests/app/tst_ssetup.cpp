// The system setup window and its rules: how each box is fitted into the
// settings record, the columns it never touches, the file replaced whole,
// the fatal messages, Re-Connect, and velm setup doing the same.

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

namespace {

// The record's own bytes at the columns of one field.
QByteArray columns(const QByteArray &record, int column, int width)
{
    return record.mid(column - 1, width);
}

} // namespace

class TestSsetup : public QObject
{
    Q_OBJECT

private slots:
    void fitting_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("empty port") << "comport"
                                    << "" << QByteArray("1");
        QTest::newRow("two-digit port keeps the last") << "comport"
                                                       << "12" << QByteArray("2");
        QTest::newRow("empty baud: 038400, not 057600") << "combaud"
                                                        << "" << QByteArray("038400");
        QTest::newRow("baud 9600") << "combaud"
                                   << "9600" << QByteArray("009600");
        QTest::newRow("baud 115200") << "combaud"
                                     << "115200" << QByteArray("115200");
        QTest::newRow("baud 300 behind the fill") << "combaud"
                                                  << "300" << QByteArray("400300");
        QTest::newRow("parity last character") << "comparity"
                                               << "ev" << QByteArray("v");
        QTest::newRow("empty stop bits") << "comstopbits"
                                         << "" << QByteArray("1");
        QTest::newRow("empty other") << "comother"
                                     << "" << QByteArray(16, '0');
        QTest::newRow("short path right-aligned") << "gfilebox"
                                                  << "d:\\a b\\x.txt" << (QByteArray(20, ' ') + "d:\\a b\\x.txt");
        QTest::newRow("long path keeps its end") << "listfileloc"
                                                 << "c:\\" + QString(40, 'x') << QByteArray(32, 'x');
    }
    void fitting()
    {
        QFETCH(QString, box);
        QFETCH(QString, typed);
        QFETCH(QByteArray, stored);
        // Header, reserved values and filler of an odd record stay as they are.
        QByteArray odd = SettingsRecord::defaultRecord();
        odd.replace(9, 16, "Someone else's  ");
        odd.replace(49, 36, QByteArray(36, '7'));
        odd.replace(330, 100, QByteArray(100, '#'));
        SettingsRecord record(odd);
        SetupFields fields = showSettings(record);
        *fields.byName(box) = typed;
        storeSettings(record, fields);

        const struct
        {
            const char *name;
            int column, width;
        } map[] = {{"comport", 100, 1},         {"combaud", 101, 6},       {"comparity", 107, 1},
                   {"combits", 108, 1},         {"comstopbits", 109, 1},   {"comother", 110, 16},
                   {"gfilebox", 232, 32},       {"flashfileloc", 200, 32}, {"listfileloc", 264, 32},
                   {"flashmemfileloc", 296, 32}};
        QByteArray expected = odd;
        for (const auto &f : map) {
            if (box == QLatin1String(f.name))
                expected.replace(f.column - 1, f.width, stored);
        }
        QCOMPARE(record.bytes(), expected);
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
        QCOMPARE(box("combaud")->text(), QStringLiteral("057600"));
        QCOMPARE(box("gfilebox")->text(), QStringLiteral("             c:\\Corvane\\velm.txt"));

        // Save replaces the file through a rename: a hard link to the old
        // file still holds the old record, as it would after a crash.
        const QString file = hostpaths::settingsFile();
        const QString before = root.file("before.ovh");
        QVERIFY(::link(QFile::encodeName(file).constData(), QFile::encodeName(before).constData()) == 0);
        box("combaud")->setText("9600");
        window.findChild<QPushButton *>("Saveparams")->click();
        QCOMPARE(columns(readAllBytes(file), 101, 6), QByteArray("009600"));
        QCOMPARE(readAllBytes(before), SettingsRecord::defaultRecord());
        QCOMPARE(record.bytes(), readAllBytes(file));

        // Read Parameters shows what the file holds now.
        QByteArray edited = readAllBytes(file);
        edited.replace(99, 1, "4");
        QVERIFY(writeAllBytes(file, edited));
        window.findChild<QPushButton *>("loadparam")->click();
        QCOMPARE(box("comport")->text(), QStringLiteral("4"));
        window.findChild<QPushButton *>("Command2")->click();
        QCOMPARE(reconnects, 1);
        QCOMPARE(messages, QStringList());

        // The file gone: the fatal messages, and the program ends after each.
        QVERIFY(QFile::remove(file) && QFile::remove(before));
        window.findChild<QPushButton *>("Saveparams")->click();
        window.findChild<QPushButton *>("loadparam")->click();
        QCOMPARE(messages, QStringList({kSettingsWriteFatalMessage, kSettingsFatalMessage}));
        QCOMPARE(ends, 2);
        QVERIFY(!QFile::exists(file));
        setMessageHandler(previous);
    }

    void velmSetup()
    {
        TestRoot root;
        VelmRun r = runVelm({"setup", "set", "combaud=19200", "comother="});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.contains("combaud=019200\ncomparity=n\ncombits=8\ncomstopbits=1\ncomother=0000000000000000\n"));
        QCOMPARE(columns(readAllBytes(hostpaths::settingsFile()), 101, 6), QByteArray("019200"));
        QCOMPARE(runVelm({"setup", "set", "baud=1"}).exitCode, 2);
    }
};

QTEST_MAIN(TestSsetup)
#include "tst_ssetup.moc"
