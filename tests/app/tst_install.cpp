// `cmake --install` into a temporary prefix: the tree, the desktop entry as
// desktop-file-validate sees it, programs that start from there (and pvelm
// without a display saying how to run it); and the Debian package's
// declared dependencies.

#include "support/testenv.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Ran
{
    int status = -1;
    QByteArray output;
};

Ran runTool(const QString &program, const QStringList &args, int timeoutMs = 120000)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    Ran r;
    if (!p.waitForFinished(timeoutMs))
        return r;
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.output = p.readAll();
    return r;
}

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT

private slots:
    void installTree()
    {
        QTemporaryDir prefix;
        const Ran install = runTool(QStandardPaths::findExecutable(QStringLiteral("cmake")),
                                    {"--install", PVELM_BINARY_DIR, "--prefix", prefix.path()});
        QVERIFY2(install.status == 0, install.output.constData());

        const QDir root(prefix.path());
        // Installed programs start on their own (the help needs no display).
        for (const char *program : {"bin/pvelm", "bin/velm", "bin/velmsim"}) {
            const Ran help = runTool(root.filePath(QLatin1String(program)), {"--help"});
            QVERIFY2(help.status == 0, program);
        }
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            qunsetenv(name);
        const Ran noDisplay = runTool(root.filePath(QStringLiteral("bin/pvelm")), {"--simulate"});
        QCOMPARE(noDisplay.status, 1);
        QVERIFY2(noDisplay.output.startsWith("pvelm: no display") && noDisplay.output.contains("xvfb-run -a ") &&
                     noDisplay.output.count('\n') == 1,
                 noDisplay.output.constData());

        const QString desktop = root.filePath(QStringLiteral("share/applications/pvelm.desktop"));
        const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        QVERIFY2(!validator.isEmpty(), "desktop-file-validate is missing: run scripts/install-deps.sh");
        const Ran valid = runTool(validator, {desktop});
        QVERIFY2(valid.status == 0 && valid.output.isEmpty(), valid.output.constData());
        // The entry starts the installed program and names the installed icon.
        const QByteArray entryText = readAllBytes(desktop);
        QVERIFY(entryText.contains("\nExec=pvelm\n") && entryText.contains("\nIcon=pvelm\n"));
        QVERIFY(QFile::exists(root.filePath(QStringLiteral("share/icons/hicolor/scalable/apps/pvelm.svg"))));
        QVERIFY(QFile::exists(root.filePath(QStringLiteral("share/man/man1/velm.1"))));
    }

    // The package declares what the programs need on a plain Debian 12.
    void debianPackage()
    {
        const QString cpack = QStandardPaths::findExecutable(QStringLiteral("cpack"));
        const QString dpkgDeb = QStandardPaths::findExecutable(QStringLiteral("dpkg-deb"));
        if (cpack.isEmpty() || dpkgDeb.isEmpty())
            QSKIP("cpack or dpkg-deb not available");
        QTemporaryDir out;
        const Ran pack =
            runTool(cpack, {"-G", "DEB", "-B", out.path(), "--config", PVELM_BINARY_DIR "/CPackConfig.cmake"}, 300000);
        QVERIFY2(pack.status == 0, pack.output.constData());
        const QStringList debs = QDir(out.path()).entryList({QStringLiteral("*.deb")});
        QCOMPARE(debs.size(), 1);
        const QString deb = QDir(out.path()).filePath(debs.first());
        const Ran depends = runTool(dpkgDeb, {"-f", deb, "Depends"});
        for (const char *library : {"libqt6core6", "libqt6gui6", "libqt6widgets6", "libqt6serialport6"})
            QVERIFY2(depends.output.contains(library), depends.output.constData());
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
