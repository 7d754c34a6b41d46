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
    r += QByteArray(90, '0');                              // 110-199
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
        QCOMPARE(readAllBytes(settingsPath(root)), expectedDefaultRecord());
        QCOMPARE(rec.bytes(), expectedDefaultRecord());
    }

    void existingFileIsNeverRewritten()
    {
        TestRoot root;
        QByteArray odd = expectedDefaultRecord();
        odd.replace(9, 16, "   My header 2.0");
        QVERIFY(writeAllBytes(settingsPath(root), odd));
        const QDateTime before = QFileInfo(settingsPath(root)).lastModified();

        SettingsRecord rec;
        QVERIFY(pvelm::loadSettings(rec).ok);
        QCOMPARE(rec.bytes(), odd);
        QCOMPARE(readAllBytes(settingsPath(root)), odd);
        QCOMPARE(QFileInfo(settingsPath(root)).lastModified(), before);
    }

    void firstLineIsTheRecord_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<bool>("notice");
        const QByteArray def = expectedDefaultRecord();
        QByteArray port4 = def;
        port4[99] = '4';
        const QByteArray rest = QByteArray(600, '9');
        QTest::newRow("CR LF") << port4 + "\r\n" + rest + "\r\n" << port4 << false;
        QTest::newRow("LF") << port4 + "\n" + rest << port4 << false;
        QTest::newRow("CR") << port4 + "\r" + rest << port4 << false;
        // A short record is completed from the default record, a long one
        // cut to 512; the operator is told.
        QTest::newRow("150 characters") << port4.left(150) + "\r\n" + rest << port4 << true;
        QTest::newRow("empty file") << QByteArray() << def << true;
        QTest::newRow("empty first line") << "\r\n" + def << def << true;
        QTest::newRow("longer than 512") << def + "EXTRA" << def << true;
    }

    void firstLineIsTheRecord()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, expected);
        QFETCH(bool, notice);
        TestRoot root;
        QVERIFY(writeAllBytes(settingsPath(root), content));
        SettingsRecord rec;
        const auto load = pvelm::loadSettings(rec);
        QVERIFY(load.ok);
        QCOMPARE(!load.notice.isEmpty(), notice);
        QCOMPARE(rec.bytes(), expected);
        QCOMPARE(readAllBytes(settingsPath(root)), content);
    }

    void unreadableSettingsAreFatal_data()
    {
        QTest::addColumn<QString>("folder"); // made where a file is expected
        QTest::addColumn<QString>("file");   // made where a folder is expected
        QTest::newRow("settings file is a folder") << "drive_c/Corvane/parameters.ovh" << QString();
        QTest::newRow("drive is a file") << QString() << "drive_c";
    }

    void unreadableSettingsAreFatal()
    {
        QFETCH(QString, folder);
        QFETCH(QString, file);
        TestRoot root;
        QVERIFY(folder.isEmpty() || QDir().mkpath(root.file(folder)));
        QVERIFY(file.isEmpty() || writeAllBytes(root.file(file), "x"));
        SettingsRecord rec;
        QVERIFY(!pvelm::loadSettings(rec).ok);
    }

    void pathFields()
    {
        SettingsRecord rec;
        // Every space is removed from a path, not only the padding.
        rec.setPath(SettingsRecord::kListPathColumn, QStringLiteral("c:\\My Files\\list one.txt"));
        QCOMPARE(rec.field(264, 32), QString(8, QLatin1Char(' ')) + QStringLiteral("c:\\My Files\\list one.txt"));
        QCOMPARE(rec.path(SettingsRecord::kListPathColumn), QStringLiteral("c:\\MyFiles\\listone.txt"));
        // Too long for its field: the last 32 characters stay, and nothing
        // spills into the neighbouring field.
        rec.setPath(SettingsRecord::kTempHexPathColumn,
                    QStringLiteral("c:\\a\\very\\long\\folder\\name\\for\\flash.tmp"));
        QCOMPARE(rec.path(SettingsRecord::kTempHexPathColumn), QStringLiteral("y\\long\\folder\\name\\for\\flash.tmp"));
        QCOMPARE(rec.path(SettingsRecord::kScriptPathColumn), QStringLiteral("c:\\Corvane\\velm.txt"));
        // Writing past the end never grows the record.
        rec.setField(510, 6, QStringLiteral("ABCDEF"));
        QCOMPARE(rec.bytes().right(4), QByteArray("0ABC"));
        QCOMPARE(rec.bytes().size(), 512);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
