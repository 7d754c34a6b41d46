#include "app/hostpaths.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace hp = pvelm::hostpaths;

class TestHostPaths : public QObject
{
    Q_OBJECT

private slots:
    void mapping_data()
    {
        QTest::addColumn<QStringList>("existing"); // folders and files made first, relative to the root
        QTest::addColumn<QString>("windowsPath");
        QTest::addColumn<QString>("expected"); // relative to the root

        QTest::newRow("default script") << QStringList() << "c:\\Corvane\\velm.txt"
                                        << "drive_c/Corvane/velm.txt";
        QTest::newRow("upper-case drive") << QStringList() << "C:\\Corvane"
                                          << "drive_c/Corvane";
        QTest::newRow("other drive") << QStringList() << "d:\\data\\x.fla"
                                     << "drive_d/data/x.fla";
        QTest::newRow("forward slashes") << QStringList() << "c:/Corvane//list.txt"
                                         << "drive_c/Corvane/list.txt";
        QTest::newRow("any case finds existing")
            << QStringList{"drive_c/Corvane/", "drive_c/Corvane/Flashda.fla"} << "c:\\corvane\\FLASHDA.FLA"
            << "drive_c/Corvane/Flashda.fla";
        QTest::newRow("new component as written") << QStringList{"drive_c/Corvane/"} << "c:\\CORVANE\\New\\Out.TXT"
                                                  << "drive_c/Corvane/New/Out.TXT";
        QTest::newRow("exact match preferred")
            << QStringList{"drive_c/corvane/", "drive_c/Corvane/"} << "c:\\Corvane\\a"
            << "drive_c/Corvane/a";
    }

    void mapping()
    {
        QFETCH(QStringList, existing);
        QFETCH(QString, windowsPath);
        QFETCH(QString, expected);
        TestRoot root;
        for (const QString &e : existing) {
            if (e.endsWith(QLatin1Char('/')))
                QVERIFY(QDir().mkpath(root.file(e)));
            else
                QVERIFY(writeAllBytes(root.file(e), "x"));
        }
        QCOMPARE(hp::toHost(windowsPath), root.file(expected));
    }

    void hostPathsPassThrough()
    {
        TestRoot root;
        QCOMPARE(hp::toHost(QStringLiteral("/tmp/some/file.txt")), QStringLiteral("/tmp/some/file.txt"));
        QCOMPARE(hp::toHost(QStringLiteral("relative/velm.txt")), QStringLiteral("relative/velm.txt"));
    }

    void fixedLocations()
    {
        TestRoot root;
        QCOMPARE(hp::root(), root.path());
        QCOMPARE(hp::workingFolder(), root.file(QStringLiteral("drive_c/Corvane")));
        QCOMPARE(hp::settingsFile(), root.file(QStringLiteral("drive_c/Corvane/parameters.ovh")));
        QCOMPARE(hp::workFile(QStringLiteral("premerged.tmp")),
                 root.file(QStringLiteral("drive_c/Corvane/premerged.tmp")));
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
        TestRoot root;
        QCOMPARE(hp::dosDeviceLink(1), root.file(QStringLiteral("dosdevices/com1")));
        // No link: the n-th standard serial device.
        QCOMPARE(hp::portDevice(1), QStringLiteral("/dev/ttyS0"));
        QCOMPARE(hp::portDevice(4), QStringLiteral("/dev/ttyS3"));
        // A link names the device, as Wine's dosdevices do.
        QVERIFY(QDir().mkpath(root.file(QStringLiteral("dosdevices"))));
        QVERIFY(QFile::link(QStringLiteral("/dev/pts/77"), hp::dosDeviceLink(3)));
        QCOMPARE(hp::portDevice(3), QStringLiteral("/dev/pts/77"));
        QCOMPARE(hp::portDevice(2), QStringLiteral("/dev/ttyS1"));
    }
};

QTEST_GUILESS_MAIN(TestHostPaths)
#include "tst_hostpaths.moc"
