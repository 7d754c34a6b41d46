// `cmake --install` into a temporary prefix: the tree, the desktop entry as
// desktop-file-validate sees it, and programs that start from there (pvelm
// without a display saying how to run it).

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

Ran runTool(const QString &program, const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    Ran r;
    if (!p.waitForFinished(120000))
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
};

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
