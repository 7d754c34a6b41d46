#include "app/hostpaths.h"
#include "app/settings.h"
#include "support/testenv.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

using pvelm::SettingsRecord;

namespace {

// The default record spelled out column by column, independently of the
// code that builds it.
QByteArray expectedDefaultRecord()
{
    QByteArray r;
    r += QByteArray(9, '0');                               // 1-9
    r += " Corvane Ver 1.0";                               // 10-25
    r += QByteArray(24, '0');                              // 26-49
    r += "00200002000020000100002000020000200";            // 50-84
    r += "1";                                              // 85
    r += QByteArray(14, '0');                              // 86-99
    r += "1057600n81";                                     // 100-109
    r += "0000000000000000";                               // 110-125
    r += QByteArray(74, '0');                              // 126-199
    r += QByteArray(12, ' ') + "c:\\Corvane\\flash.tmp";   // 200-231
    r += QByteArray(13, ' ') + "c:\\Corvane\\velm.txt";    // 232-263
    r += QByteArray(13, ' ') + "c:\\Corvane\\list.txt";    // 264-295
    r += QByteArray(10, ' ') + "c:\\Corvane\\Flashda.fla"; // 296-327
    r += QByteArray(185, '0');                             // 328-512
    return r;
}

QString settingsPath(const TestRoot &root)
{
    return root.file(QStringLiteral("drive_c/Corvane/parameters.ovh"));
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void firstRunCreatesDefaultFile()
    {
        TestRoot root;
        SettingsRecord rec{QByteArray("junk")};
        const auto load = pvelm::loadSettings(rec);
        QVERIFY(load.ok);
        QVERIFY(load.notice.isEmpty());

        const QByteArray onDisk = readAllBytes(settingsPath(root));
        QCOMPARE(onDisk.size(), 512);
        QCOMPARE(onDisk, expectedDefaultRecord());
        QCOMPARE(rec.bytes(), onDisk);
        QCOMPARE(SettingsRecord::defaultRecord(), expectedDefaultRecord());

        // The fields as the link and the compiler read them.
        QCOMPARE(rec.field(100, 1), QStringLiteral("1"));
        QCOMPARE(rec.field(101, 6), QStringLiteral("057600"));
        QCOMPARE(rec.field(107, 3), QStringLiteral("n81"));
        QCOMPARE(rec.field(232, 13), QString(13, QLatin1Char(' ')));
        QCOMPARE(rec.field(245, 19), QStringLiteral("c:\\Corvane\\velm.txt"));
        QCOMPARE(rec.path(SettingsRecord::kScriptPathColumn), QStringLiteral("c:\\Corvane\\velm.txt"));
        QCOMPARE(rec.path(SettingsRecord::kFlashFilePathColumn), QStringLiteral("c:\\Corvane\\Flashda.fla"));
    }

    void existingFileIsNeverRewritten()
    {
        TestRoot root;
        QByteArray odd = expectedDefaultRecord();
        odd.replace(9, 16, "   My header 2.0");
        odd.replace(49, 5, "12345");
        QVERIFY(writeAllBytes(settingsPath(root), odd));
        const QDateTime before = QFileInfo(settingsPath(root)).lastModified();

        SettingsRecord rec;
        QVERIFY(pvelm::loadSettings(rec).ok);
        QCOMPARE(rec.bytes(), odd);
        QCOMPARE(readAllBytes(settingsPath(root)), odd);
        QCOMPARE(QFileInfo(settingsPath(root)).lastModified(), before);
    }

    void onlyTheFirstLineIsRead_data()
    {
        QTest::addColumn<QByteArray>("separator");
        QTest::newRow("CR LF") << QByteArray("\r\n");
        QTest::newRow("LF") << QByteArray("\n");
        QTest::newRow("CR") << QByteArray("\r");
    }

    void onlyTheFirstLineIsRead()
    {
        QFETCH(QByteArray, separator);
        TestRoot root;
        QByteArray first = expectedDefaultRecord();
        first[99] = '4';
        QVERIFY(writeAllBytes(settingsPath(root), first + separator + QByteArray(600, '9') + separator));
        SettingsRecord rec;
        const auto load = pvelm::loadSettings(rec);
        QVERIFY(load.ok);
        QVERIFY(load.notice.isEmpty());
        QCOMPARE(rec.bytes(), first);
        QCOMPARE(rec.field(100, 1), QStringLiteral("4"));
    }

    void recordOfTheWrongLength_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray def = expectedDefaultRecord();
        QByteArray shortRec = def.left(150);
        shortRec[99] = '3';
        QByteArray shortExpected = def;
        shortExpected[99] = '3';
        QTest::newRow("150 characters") << shortRec << shortExpected;
        QTest::newRow("empty file") << QByteArray() << def;
        QTest::newRow("empty first line") << QByteArray("\r\nsecond") << def;
        QTest::newRow("longer than 512") << (def + "EXTRA") << def;
    }

    void recordOfTheWrongLength()
    {
        // A short record is completed from the default record (never read
        // past its end), a long one cut to 512; either way the operator is
        // told once and the file stays as it was.
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, expected);
        TestRoot root;
        QVERIFY(writeAllBytes(settingsPath(root), content));
        SettingsRecord rec;
        const auto load = pvelm::loadSettings(rec);
        QVERIFY(load.ok);
        QVERIFY(!load.notice.isEmpty());
        QCOMPARE(rec.bytes().size(), 512);
        QCOMPARE(rec.bytes(), expected);
        QCOMPARE(readAllBytes(settingsPath(root)), content);
    }

    void unreadableSettingsAreFatal()
    {
        {
            TestRoot root; // the settings "file" is a folder
            QVERIFY(QDir().mkpath(settingsPath(root)));
            SettingsRecord rec;
            QVERIFY(!pvelm::loadSettings(rec).ok);
        }
        {
            TestRoot root; // the drive is a file, so the folder cannot be made
            QVERIFY(writeAllBytes(root.file(QStringLiteral("drive_c")), "x"));
            SettingsRecord rec;
            QVERIFY(!pvelm::loadSettings(rec).ok);
        }
        QCOMPARE(QByteArray(pvelm::kSettingsFatalMessage),
                 QByteArray("Canot open config file or invalid directory. Re-setup"));
    }

    void fieldAccess()
    {
        SettingsRecord rec;
        // Every space is removed from a path, not only the leading ones.
        rec.setPath(SettingsRecord::kListPathColumn, QStringLiteral("c:\\My Files\\list one.txt"));
        QCOMPARE(rec.field(264, 32), QString(8, QLatin1Char(' ')) + QStringLiteral("c:\\My Files\\list one.txt"));
        QCOMPARE(rec.path(SettingsRecord::kListPathColumn), QStringLiteral("c:\\MyFiles\\listone.txt"));
        // A path longer than its field keeps its last 32 characters.
        rec.setPath(SettingsRecord::kTempHexPathColumn,
                    QStringLiteral("c:\\a\\very\\long\\folder\\name\\for\\flash.tmp"));
        QCOMPARE(rec.path(SettingsRecord::kTempHexPathColumn), QStringLiteral("y\\long\\folder\\name\\for\\flash.tmp"));
        QCOMPARE(rec.bytes().size(), 512);
        // Overwrites never change the length, even at the end.
        rec.setField(510, 6, QStringLiteral("ABCDEF"));
        QCOMPARE(rec.bytes().size(), 512);
        QCOMPARE(rec.field(510, 6), QStringLiteral("ABC"));
        QCOMPARE(rec.field(600, 4), QString());
        QCOMPARE(SettingsRecord::fitRight(QStringLiteral("9600"), 6, QLatin1Char('0')), QStringLiteral("009600"));
        QCOMPARE(SettingsRecord::fitRight(QStringLiteral("12"), 1, QLatin1Char('1')), QStringLiteral("2"));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
