// velm killed with SIGKILL at random moments while it saves the settings
// file or a flash file: the file is then the old one or the new one, whole.
// PVELM_KILL_RUNS (default 30) and PVELM_KILL_SEED set the runs and seed.
// And writers refused a write by the system: the old file stays whole.

#include "flash/flashpages.h"
#include "link/link.h"
#include "link/traffic.h"
#include "settings/settings.h"
#include "sim/boardengine.h"
#include "sim/virtualboard.h"
#include "support/testenv.h"

#include <signal.h>
#include <sys/resource.h>
#include <thread>

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QtTest>

using namespace pvelm;

namespace {

// Qt's lock files for a serial device. A velm killed while taking or clearing
// one may leave it locked for 30 s. The pty is the test's own, so after a
// kill any lock on it is stale; it goes before the pty goes back to the system.
void removeLocks(const QString &device)
{
    if (device.isEmpty())
        return;
    const QString lock = "/LCK.." + device.mid(5).replace('/', '_'); // /dev/pts/N
    for (const QString dir : {"/var/lock", "/run/lock", "/tmp", "/var/tmp"})
        QFile::remove(dir + lock), QFile::remove(dir + lock + ".rmlock");
}

// Writes that would make a file longer than 300 bytes fail with EFBIG, as a
// full disk fails them with ENOSPC. The programs ignore SIGXFSZ themselves.
void limitFileSize()
{
    struct rlimit limit;
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = 300;
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

} // namespace

class TestKillSave : public QObject
{
    Q_OBJECT

private slots:
    void refusedWrite_data()
    {
        // What runs the write (velm or velmsim, or the traffic log's save in
        // this process), the files it writes below the root and what each
        // held before (none: it must not appear).
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QByteArray>("old");
        const QByteArray old = QByteArray("an old file that must stay whole\r\n").repeated(20);
        const QString c = "drive_c/Corvane/";
        const auto row = [](const char *name, const QStringList &command, const QStringList &files,
                            const QByteArray &old) { QTest::newRow(name) << command << files << old; };
        row("settings record", {"velm", "setup", "set", "combaud=9600"}, {c + "parameters.ovh"},
            SettingsRecord::defaultRecord());
        row("default settings at first start", {"velm", "setup", "show"}, {c + "parameters.ovh"}, {});
        row("flash save (velm)", {"velm", "--simulate", "flash", "save", "0", "3", "c:\\Corvane\\Flashda.fla"},
            {c + "Flashda.fla"}, old);
        row("compiler outputs", {"velm", "compile", PVELM_SOURCE_DIR "/examples/pick_and_place.txt"},
            {c + "list.txt", c + "premerged.tmp"}, old);
        row("virtual board state", {"velmsim", "--state", "c:\\Corvane\\board.state"}, {c + "board.state"},
            sim::BoardState().serialize());
        row("traffic log (saveFile)", {"traffic log"}, {"traffic.log"}, old);
    }
    void refusedWrite()
    {
        // The old file stays as it was, no temporary file is left, the
        // reason is the system's own, and the writer fails.
        QFETCH(QStringList, command);
        QFETCH(QStringList, files);
        QFETCH(QByteArray, old);
        TestRoot root;
        qputenv("PVELM_SECOND_MS", "40");
        if (!old.isEmpty())
            QVERIFY(writeAllBytes(root.file("drive_c/Corvane/parameters.ovh"), SettingsRecord::defaultRecord()));
        for (const QString &file : files)
            QVERIFY(old.isEmpty() || writeAllBytes(root.file(file), old));

        QString reason;
        if (command.first() == "traffic log") {
            TrafficRing ring;
            for (int i = 0; i < 20; ++i)
                ring.add(
                    TrafficEntry{i * 1000000, LinkObserver::Direction::Received, "binreceiver", QByteArray(64, 'A')});
            struct rlimit before;
            ::getrlimit(RLIMIT_FSIZE, &before);
            const auto handler = ::signal(SIGXFSZ, SIG_IGN);
            limitFileSize();
            const bool saved = ring.save(root.file(files.first()), &reason);
            ::setrlimit(RLIMIT_FSIZE, &before);
            ::signal(SIGXFSZ, handler);
            QVERIFY(!saved);
        } else {
            QProcess program;
            program.setChildProcessModifier(limitFileSize);
            program.start(PVELM_BINARY_DIR "/" + command.first(), command.mid(1));
            if (command.first() == "velmsim") { // it saves its state when it ends
                QVERIFY(program.waitForReadyRead());
                program.terminate();
            }
            QVERIFY(program.waitForFinished());
            reason = program.readAllStandardError();
            QVERIFY2(program.exitStatus() == QProcess::NormalExit && program.exitCode() == 1, qPrintable(reason));
        }
        QVERIFY2(reason.contains("File too large"), qPrintable(reason));
        for (const QString &file : files) {
            const QString path = root.file(file);
            QCOMPARE(QFileInfo::exists(path), !old.isEmpty());
            QCOMPARE(readAllBytes(path), old);
            QCOMPARE(QFileInfo(path).dir().entryList({QFileInfo(path).fileName() + ".*"}), QStringList());
        }
    }

    void killedWhileSaving_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("name"); // the file saved, in c:\\Corvane
        QTest::addColumn<QByteArray>("old");
        QByteArray flashFile;
        for (int page = 0; page < 150; ++page)
            flashFile += flash::pageLine(page, QString(528, QLatin1Char('A'))).toLatin1() + "\r\n";
        QTest::newRow("settings") << QStringList{"setup", "set", "combaud=9600", "comport=2"} << "parameters.ovh"
                                  << SettingsRecord::defaultRecord();
        QTest::newRow("flash file") << QStringList{"flash", "save", "0", "149", "c:\\Corvane\\Flashda.fla"}
                                    << "Flashda.fla" << flashFile;
    }
    void killedWhileSaving()
    {
        QFETCH(QStringList, args);
        const bool board = args.first() == "flash"; // velm talks to a virtual board of this test's own
        QFETCH(QString, name);
        QFETCH(QByteArray, old);
        TestRoot root;
        const QString folder = root.file("drive_c/Corvane");
        const QString path = folder + '/' + name;
        QVERIFY(writeAllBytes(folder + "/parameters.ovh", SettingsRecord::defaultRecord()));

        qputenv("PVELM_SECOND_MS", "40"); // for velm, as runVelm gives it
        // A fresh board for every run, as `--simulate` would give, but
        // outliving velm.
        const auto start = [&](QProcess &velm, sim::VirtualBoard &b) {
            if (!writeAllBytes(path, old) || (board && !b.start()))
                return false;
            velm.start(PVELM_BINARY_DIR "/velm", board ? QStringList{"--port", b.devicePath()} + args : args);
            return velm.waitForStarted();
        };
        // Runs to the end: the new bytes, and how long a run lasts.
        QList<qint64> lasted;
        for (int i = 0; i < 3; ++i) {
            sim::VirtualBoard b;
            QProcess velm;
            QVERIFY(start(velm, b));
            QElapsedTimer clock;
            clock.start();
            QVERIFY(velm.waitForFinished() && velm.exitCode() == 0);
            lasted << clock.nsecsElapsed() / 1000;
        }
        std::sort(lasted.begin(), lasted.end());
        const qint64 runUs = lasted.at(1);
        const QByteArray fresh = readAllBytes(path);
        QVERIFY(fresh != old && !fresh.isEmpty());

        const int runs =
            qEnvironmentVariableIsSet("PVELM_KILL_RUNS") ? qEnvironmentVariableIntValue("PVELM_KILL_RUNS") : 30;
        const quint32 seed =
            qEnvironmentVariableIsSet("PVELM_KILL_SEED") ? qEnvironmentVariableIntValue("PVELM_KILL_SEED") : 20261206;
        QRandomGenerator random(seed);
        // Where each kill landed: before the save had its temporary file,
        // while it had it open, after the rename, or after velm had ended.
        int before = 0, saving = 0, renamed = 0, ended = 0, newFiles = 0, staged = 0;
        for (int run = 0; run < runs; ++run) {
            sim::VirtualBoard b;
            const auto unlock = qScopeGuard([&] { removeLocks(b.devicePath()); });
            QProcess velm;
            QVERIFY(start(velm, b));
            std::this_thread::sleep_for(std::chrono::microseconds(random.bounded(runUs * 5 / 4)));
            // The save's temporary file is NAME.XXXXXX beside the file.
            bool saveOpen = false;
            for (const QFileInfo &fd : QDir(QStringLiteral("/proc/%1/fd").arg(velm.processId()))
                                           .entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
                saveOpen |= fd.symLinkTarget().startsWith(path + '.');
            ::kill(pid_t(velm.processId()), SIGKILL);
            QVERIFY(velm.waitForFinished());
            const QString where = QStringLiteral("run %1, seed %2: ").arg(run).arg(seed);
            const QByteArray now = readAllBytes(path);
            QVERIFY2(now == old || now == fresh, qPrintable(where + QString::number(now.size()) + " bytes"));
            newFiles += now == fresh;
            if (velm.exitStatus() == QProcess::NormalExit)
                QVERIFY2(velm.exitCode() == 0, qPrintable(where + velm.readAllStandardError()));
            ++(velm.exitStatus() == QProcess::NormalExit ? ended : now == fresh ? renamed : saveOpen ? saving : before);
            // A kill before the rename may leave the temporary file
            // (NAME.XXXXXX), nothing else.
            QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden);
            left.removeAll(name);
            left.removeAll("parameters.ovh");
            for (const QString &file : left) {
                QVERIFY2(file.startsWith(name + '.') && file.size() == name.size() + 7, qPrintable(where + file));
                staged += QFile::remove(folder + '/' + file);
            }
            if (board) {
                removeLocks(b.devicePath());
                Link link;
                link.setPortOverride(b.devicePath());
                link.opencomport();
                QVERIFY2(link.isPortOpen(), qPrintable(where + link.portOpenError()));
            }
        }
        qInfo("%d runs of %lld us, seed %u: killed before the save %d, while saving %d, after the rename %d, "
              "ended first %d; old file %d, new file %d, temporary names left %d",
              runs, runUs, seed, before, saving, renamed, ended, runs - newFiles, newFiles, staged);
    }
};

QTEST_MAIN(TestKillSave)
#include "tst_killsave.moc"
