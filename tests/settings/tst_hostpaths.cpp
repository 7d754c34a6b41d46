#include "settings/hostpaths.h"
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
        QTest::addColumn<QStringList>("existing"); // made first below the root; folders end in "/"
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected"); // "@" stands for the root

        QTest::newRow("default script") << QStringList() << "c:\\Corvane\\velm.txt"
                                        << "@/drive_c/Corvane/velm.txt";
        QTest::newRow("upper-case drive") << QStringList() << "C:\\Corvane"
                                          << "@/drive_c/Corvane";
        QTest::newRow("other drive, slashes") << QStringList() << "d:/data//x.fla"
                                              << "@/drive_d/data/x.fla";
        QTest::newRow("any case finds existing")
            << QStringList{"drive_c/Corvane/Flashda.fla"} << "c:\\corvane\\FLASHDA.FLA"
            << "@/drive_c/Corvane/Flashda.fla";
        QTest::newRow("new component as written") << QStringList{"drive_c/Corvane/"} << "c:\\CORVANE\\New\\Out.TXT"
                                                  << "@/drive_c/Corvane/New/Out.TXT";
        QTest::newRow("exact match preferred")
            << QStringList{"drive_c/corvane/", "drive_c/Corvane/"} << "c:\\Corvane\\a"
            << "@/drive_c/Corvane/a";
        QTest::newRow("absolute host path") << QStringList() << "/tmp/some/file.txt"
                                            << "/tmp/some/file.txt";
        QTest::newRow("relative host path") << QStringList() << "relative/velm.txt"
                                            << "relative/velm.txt";
    }

    void mapping()
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
        TestRoot root;
        // No link: the n-th standard serial device.
        QCOMPARE(hp::portDevice(1), QStringLiteral("/dev/ttyS0"));
        // A lower-case dosdevices link names the device, as Wine's do.
        QVERIFY(QDir().mkpath(root.file(QStringLiteral("dosdevices"))));
        QVERIFY(QFile::link(QStringLiteral("/dev/pts/77"), root.file(QStringLiteral("dosdevices/com3"))));
        QCOMPARE(hp::portDevice(3), QStringLiteral("/dev/pts/77"));
        QCOMPARE(hp::portDevice(4), QStringLiteral("/dev/ttyS3"));
    }
};

QTEST_GUILESS_MAIN(TestHostPaths)
#include "tst_hostpaths.moc"
