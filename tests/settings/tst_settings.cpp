// The settings record and where the console's files and ports are: the
// default record byte for byte, records of other lengths and line ends read
// without rewriting the file, Windows paths below the root in any case, the
// root's default, and the serial device of a port that has no link.

#include "settings/hostpaths.h"
#include "settings/settings.h"
#include "support/testenv.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QTest>

using pvelm::SettingsRecord;
namespace hp = pvelm::hostpaths;

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
        QCOMPARE(readAllBytes(hp::settingsFile()), kDefault);
        QCOMPARE(rec.bytes(), kDefault);
        // Every space is removed from a path, not only the padding; a field
        // that runs past the end of the record is cut there.
        rec.setPath(SettingsRecord::kListPathColumn, QStringLiteral("c:\\My Files\\list one.txt"));
        QCOMPARE(rec.path(SettingsRecord::kListPathColumn), QStringLiteral("c:\\MyFiles\\listone.txt"));
        rec.setField(510, 6, QStringLiteral("ABCDEF"));
        QCOMPARE(rec.bytes().right(4), QByteArray("0ABC"));
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
        // Only the first line counts, whatever ends it.
        QTest::newRow("LF") << own + "\n" + rest << own << false;
        QTest::newRow("CR") << own + "\r" + rest << own << false;
        // A short record is completed from the default record, a long one
        // cut to 512; the operator is told.
        QTest::newRow("511 characters") << own.left(511) + "\r\n" + rest << own.left(511) + kDefault.mid(511) << true;
        QTest::newRow("empty first line") << "\r\n" + own << kDefault << true;
        QTest::newRow("longer than 512") << own + "EXTRA" << own << true;
    }
    void existingFileIsReadNeverRewritten()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, expected);
        QFETCH(bool, notice);
        TestRoot root;
        QVERIFY(writeAllBytes(hp::settingsFile(), content));
        const QDateTime old = QDateTime::currentDateTime().addDays(-1);
        QFile file(hp::settingsFile());
        QVERIFY(file.open(QIODevice::ReadWrite) && file.setFileTime(old, QFileDevice::FileModificationTime));
        file.close();

        SettingsRecord rec;
        const auto load = pvelm::loadSettings(rec);
        QVERIFY(load.ok);
        QCOMPARE(!load.notice.isEmpty(), notice);
        QCOMPARE(rec.bytes(), expected);
        QCOMPARE(readAllBytes(hp::settingsFile()), content);
        QCOMPARE(QFileInfo(hp::settingsFile()).lastModified(), old);
    }

    void killedSaveLeftoversGoAtStart()
    {
        // A killed save's temporary files go at the next start; a file of
        // the user's own, or one a running save holds, stays.
        TestRoot root;
        const QString stale = hp::settingsFile() + ".q7Zk2P", staleWork = hp::workFile("fixup.tmp") + ".Ab3dE9";
        const QString own = hp::settingsFile() + ".backup1", held = hp::settingsFile() + ".Hx9Lm2";
        for (const QString &file : {hp::settingsFile(), stale, staleWork, own, held})
            QVERIFY(writeAllBytes(file, file == hp::settingsFile() ? kDefault : "half"));
        const int fd = ::open(QFile::encodeName(held).constData(), O_RDONLY);
        QVERIFY(fd >= 0 && ::flock(fd, LOCK_EX) == 0);
        SettingsRecord rec;
        QVERIFY(pvelm::loadSettings(rec).ok);
        ::close(fd);
        QVERIFY(!QFileInfo::exists(stale) && !QFileInfo::exists(staleWork));
        QVERIFY(QFileInfo::exists(own) && QFileInfo::exists(held));
    }

    void hostPaths_data()
    {
        QTest::addColumn<QStringList>("existing"); // made first below the root; folders end in "/"
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected"); // "@" stands for the root

        QTest::newRow("other drive, slashes") << QStringList() << "d:/data//x.fla"
                                              << "@/drive_d/data/x.fla";
        QTest::newRow("any case finds existing")
            << QStringList{"drive_c/Corvane/Flashda.fla"} << "C:\\corvane\\FLASHDA.FLA"
            << "@/drive_c/Corvane/Flashda.fla";
        QTest::newRow("exact match preferred")
            << QStringList{"drive_c/corvane/", "drive_c/Corvane/"} << "c:\\Corvane\\a"
            << "@/drive_c/Corvane/a";
        QTest::newRow("host path") << QStringList() << "/tmp/some/file.txt"
                                   << "/tmp/some/file.txt";
    }
    void hostPaths()
    {
        QFETCH(QStringList, existing);
        QFETCH(QString, path);
        QFETCH(QString, expected);
        TestRoot root;
        for (const QString &e : existing)
            QVERIFY(e.endsWith(QLatin1Char('/')) ? QDir().mkpath(root.file(e)) : writeAllBytes(root.file(e), "x"));
        QCOMPARE(hp::toHost(path), expected.replace(QLatin1Char('@'), root.path()));
    }

    void rootDefaultsToHome()
    {
        QTemporaryDir home;
        const QByteArray oldHome = qgetenv("HOME");
        const QByteArray oldRoot = qgetenv("PVELM_ROOT");
        qunsetenv("PVELM_ROOT");
        qputenv("HOME", home.path().toLocal8Bit());
        const QString r = hp::root();
        qputenv("HOME", oldHome);
        if (!oldRoot.isEmpty())
            qputenv("PVELM_ROOT", oldRoot);
        QCOMPARE(r, QDir(home.path()).canonicalPath() + QStringLiteral("/.pvelm"));
    }

    void serialPorts()
    {
        // Without a dosdevices link, port n is /dev/ttyS(n-1).
        TestRoot root;
        QCOMPARE(hp::portDevice(4), QStringLiteral("/dev/ttyS3"));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
