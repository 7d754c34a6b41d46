#include "settings/settings.h"
#include "support/testenv.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

using pvelm::SettingsRecord;

namespace {

// The default record spelled out by columns, independently of the code that
// builds it.
const QByteArray kDefault = QByteArray(9, '0') + " Corvane Ver 1.0" + QByteArray(24, '0') // 1-49
                            + "00200002000020000100002000020000200"
                              "1" +
                            QByteArray(14, '0')                                // 50-99
                            + "1057600n81" + QByteArray(90, '0')               // 100-199
                            + QByteArray(12, ' ') + "c:\\Corvane\\flash.tmp"   // 200-231
                            + QByteArray(13, ' ') + "c:\\Corvane\\velm.txt"    // 232-263
                            + QByteArray(13, ' ') + "c:\\Corvane\\list.txt"    // 264-295
                            + QByteArray(10, ' ') + "c:\\Corvane\\Flashda.fla" // 296-327
                            + QByteArray(185, '0');                            // 328-512

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
        QVERIFY(load.ok && load.notice.isEmpty());
        QCOMPARE(readAllBytes(settingsPath(root)), kDefault);
        QCOMPARE(rec.bytes(), kDefault);
    }

    void existingFileIsReadNeverRewritten_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<bool>("notice");
        QByteArray own = kDefault;
        own.replace(9, 16, "   My header 2.0");
        own[99] = '4';
        const QByteArray rest = QByteArray(600, '9');
        QTest::newRow("a record of its own") << own << own << false;
        // Only the first line counts, whatever ends it.
        QTest::newRow("CR LF") << own + "\r\n" + rest + "\r\n" << own << false;
        QTest::newRow("LF") << own + "\n" + rest << own << false;
        QTest::newRow("CR") << own + "\r" + rest << own << false;
        // A short record is completed from the default record, a long one
        // cut to 512; the operator is told.
        QTest::newRow("150 characters") << own.left(150) + "\r\n" + rest << own.left(150) + kDefault.mid(150) << true;
        QTest::newRow("empty file") << QByteArray() << kDefault << true;
        QTest::newRow("empty first line") << "\r\n" + own << kDefault << true;
        QTest::newRow("longer than 512") << own + "EXTRA" << own << true;
    }
    void existingFileIsReadNeverRewritten()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, expected);
        QFETCH(bool, notice);
        TestRoot root;
        QVERIFY(writeAllBytes(settingsPath(root), content));
        const QDateTime old = QDateTime::currentDateTime().addDays(-1);
        QFile file(settingsPath(root));
        QVERIFY(file.open(QIODevice::ReadWrite) && file.setFileTime(old, QFileDevice::FileModificationTime));
        file.close();

        SettingsRecord rec;
        const auto load = pvelm::loadSettings(rec);
        QVERIFY(load.ok);
        QCOMPARE(!load.notice.isEmpty(), notice);
        QCOMPARE(rec.bytes(), expected);
        QCOMPARE(readAllBytes(settingsPath(root)), content);
        QCOMPARE(QFileInfo(settingsPath(root)).lastModified(), old);
    }

    void unreadableSettingsAreFatal()
    {
        // The settings file is a folder; the drive is a file, so the working
        // folder cannot be made.
        for (const QString blocker : {"drive_c/Corvane/parameters.ovh/", "drive_c"}) {
            TestRoot root;
            QVERIFY(blocker.endsWith('/') ? QDir().mkpath(root.file(blocker)) : writeAllBytes(root.file(blocker), "x"));
            SettingsRecord rec;
            QVERIFY2(!pvelm::loadSettings(rec).ok, qPrintable(blocker));
        }
    }

    void pathFields()
    {
        SettingsRecord rec;
        // Every space is removed from a path, not only the padding.
        rec.setPath(SettingsRecord::kListPathColumn, QStringLiteral("c:\\My Files\\list one.txt"));
        QCOMPARE(rec.path(SettingsRecord::kListPathColumn), QStringLiteral("c:\\MyFiles\\listone.txt"));
        // Too long for its field: the last 32 characters stay, and nothing
        // spills into the neighbouring field, nor past the end of the record.
        rec.setPath(SettingsRecord::kTempHexPathColumn,
                    QStringLiteral("c:\\a\\very\\long\\folder\\name\\for\\flash.tmp"));
        QCOMPARE(rec.path(SettingsRecord::kTempHexPathColumn), QStringLiteral("y\\long\\folder\\name\\for\\flash.tmp"));
        QCOMPARE(rec.path(SettingsRecord::kScriptPathColumn), QStringLiteral("c:\\Corvane\\velm.txt"));
        rec.setField(510, 6, QStringLiteral("ABCDEF"));
        QCOMPARE(rec.bytes().right(4), QByteArray("0ABC"));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
