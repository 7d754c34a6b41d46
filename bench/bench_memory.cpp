// Memory read benchmark (not run by CTest): `velm mem read` against the
// virtual board over a pseudo-terminal, as a script would run it.
//
// Three runs: one velm reading a whole area with --count 65536 at full speed;
// a loop of single-byte `velm mem read` processes (--loop N of them, default
// 200), extrapolated to the area; and --count at --baud (default 57600) for
// --paced bytes (default 256) with the board pacing its line. Each prints
// bytes a second, velm's CPU (user + system, from the kernel's accounting of
// the child) and the wire limit at the baud rate: every byte costs "&", ":",
// "-" and nine characters each way, 21 characters of 10 bits.
//
// Usage: bench_memory [--velm PATH] [--loop N] [--baud N] [--paced N] [--ram]

#include "sim/virtualboard.h"

#include <chrono>
#include <cstdio>
#include <sys/resource.h>

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>

using namespace pvelm;

namespace {

constexpr int kCharsPerByte = 21;

double nowS()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

double childCpuS()
{
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double selfCpuS()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Run
{
    qint64 bytes = 0;
    double wallS = 0;
    double velmCpuS = 0;
    double boardCpuS = 0;
    bool ok = true;
};

// Runs velm once per argument list, one after the other.
Run runVelm(const QString &velm, const QString &device, const QList<QStringList> &commands, qint64 bytesEach)
{
    Run r;
    const double wall0 = nowS();
    const double child0 = childCpuS();
    const double self0 = selfCpuS();
    for (const QStringList &command : commands) {
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        p.start(velm, QStringList{"--port", device} + command);
        if (!p.waitForFinished(-1) || p.exitCode() != 0) {
            std::fprintf(stderr, "bench_memory: velm %s failed: %s\n", qPrintable(command.join(' ')),
                         p.readAllStandardError().constData());
            r.ok = false;
            break;
        }
        r.bytes += bytesEach;
    }
    r.wallS = nowS() - wall0;
    r.velmCpuS = childCpuS() - child0;
    r.boardCpuS = selfCpuS() - self0;
    return r;
}

void report(const char *label, const Run &r, int baud)
{
    const double limit = baud / 10.0 / kCharsPerByte;
    std::printf("%-28s %6lld bytes in %8.2f s = %7.0f bytes/s; velm CPU %6.2f s (%5.1f %% of wall, %.1f us a byte); "
                "board CPU %.2f s; wire limit at %d baud %.0f bytes/s%s\n",
                label, static_cast<long long>(r.bytes), r.wallS, r.bytes / r.wallS, r.velmCpuS,
                100.0 * r.velmCpuS / r.wallS, 1e6 * r.velmCpuS / double(std::max<qint64>(1, r.bytes)), r.boardCpuS,
                baud, limit, r.ok ? "" : "  (FAILED)");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QString velm = QCoreApplication::applicationDirPath() + QStringLiteral("/../velm");
    int loops = 200;
    int baud = 57600;
    int paced = 256;
    QString area = QStringLiteral("--eeprom");
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString next = i + 1 < args.size() ? args[i + 1] : QString();
        if (args[i] == QLatin1String("--ram"))
            area = QStringLiteral("--ram");
        else if (args[i] == QLatin1String("--velm"))
            velm = next, ++i;
        else if (args[i] == QLatin1String("--loop"))
            loops = next.toInt(), ++i;
        else if (args[i] == QLatin1String("--baud"))
            baud = next.toInt(), ++i;
        else if (args[i] == QLatin1String("--paced"))
            paced = next.toInt(), ++i;
    }

    QTemporaryDir root;
    qputenv("PVELM_ROOT", root.path().toLocal8Bit());
    sim::VirtualBoard board;
    QString why;
    if (!board.start(&why)) {
        std::fprintf(stderr, "bench_memory: cannot start the virtual board: %s\n", qPrintable(why));
        return 1;
    }
    std::printf("bench_memory: virtual board on %s, %s, velm %s\n", qPrintable(board.devicePath()),
                qPrintable(area.mid(2)), qPrintable(velm));

    const Run whole = runVelm(velm, board.devicePath(), {{"mem", "read", area, "--count", "65536", "0"}}, 65536);
    report("one velm, --count 65536", whole, baud);

    QList<QStringList> singles;
    for (int k = 0; k < loops; ++k)
        singles << QStringList{"mem", "read", area, QString::number(k)};
    const Run loop = runVelm(velm, board.devicePath(), singles, 1);
    report(qPrintable(QStringLiteral("%1 velm runs, one byte each").arg(loops)), loop, baud);
    std::printf("%-28s the whole area would take %.0f s this way\n", "", 65536 * loop.wallS / std::max(1, loops));

    board.setBaud(baud);
    const Run slow =
        runVelm(velm, board.devicePath(), {{"mem", "read", area, "--count", QString::number(paced), "0"}}, paced);
    report(qPrintable(QStringLiteral("--count %1, paced").arg(paced)), slow, baud);
    return 0;
}
