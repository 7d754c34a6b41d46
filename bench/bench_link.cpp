// Link benchmark against the virtual board (not run by CTest).
//
// (a) Console overhead of smallcomax and docomax round trips: the time from
//     the call to the first character leaving the console (the port's first
//     bytesWritten), and from the last reply character being read (the last
//     readyRead) to the routine's return. Medians and 95th percentiles over
//     --runs exchanges; target under 1 ms.
// (b) CPU used while a routine waits on a silent board (rawsender: four
//     handshake waits of 2 to 3 s in real seconds), as a share of wall time:
//     the console thread alone and the whole process; target under 2 %.
//
// With --ser2net the link goes through Debian's ser2net serving the board's
// pseudo-terminal raw on 127.0.0.1 (socket://127.0.0.1:PORT): the same
// figures for a board behind a network serial server.
//
// Usage: bench_link [--runs N] [--no-cpu] [--ser2net]

#include "link/link.h"
#include "link/packets.h"
#include "sim/virtualboard.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

using namespace pvelm;

namespace {

qint64 nowNs()
{
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

qint64 cpuNs(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5));
    return values[index];
}

struct Overhead
{
    std::vector<double> headMs; // call -> first character written
    std::vector<double> tailMs; // last reply character read -> return
    std::vector<double> totalMs;
    int failures = 0;
};

// Times one routine `runs` times; `prepare` fills the link state before each.
template <typename Prepare, typename Call> Overhead measure(Link &link, int runs, Prepare prepare, Call call)
{
    Overhead result;
    qint64 firstWrite = 0;
    qint64 lastRead = 0;
    const auto written = QObject::connect(link.io(), &QIODevice::bytesWritten, [&] {
        if (firstWrite == 0)
            firstWrite = nowNs();
    });
    const auto read = QObject::connect(link.io(), &QIODevice::readyRead, [&] { lastRead = nowNs(); });
    for (int i = 0; i < runs; ++i) {
        prepare();
        firstWrite = 0;
        lastRead = 0;
        const qint64 start = nowNs();
        call();
        const qint64 end = nowNs();
        if (link.linkErrorCode != QLatin1String("0") || firstWrite == 0 || lastRead == 0) {
            ++result.failures;
            continue;
        }
        result.headMs.push_back(double(firstWrite - start) / 1e6);
        result.tailMs.push_back(double(end - lastRead) / 1e6);
        result.totalMs.push_back(double(end - start) / 1e6);
    }
    QObject::disconnect(written);
    QObject::disconnect(read);
    return result;
}

void report(const char *name, const Overhead &o)
{
    std::printf("%-10s  head median %.3f ms (p95 %.3f)  tail median %.3f ms (p95 %.3f)  "
                "round trip median %.3f ms  runs %zu  failed %d\n",
                name, percentile(o.headMs, 0.5), percentile(o.headMs, 0.95), percentile(o.tailMs, 0.5),
                percentile(o.tailMs, 0.95), percentile(o.totalMs, 0.5), o.headMs.size(), o.failures);
}

// Starts ser2net serving `device` raw on a free port of 127.0.0.1 and waits
// until it takes connections; the address to open, or "" with the reason.
QString startSer2net(QProcess &server, const QString &folder, const QString &device, QString *why)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("ser2net"), {"/usr/sbin", "/sbin"});
    if (program.isEmpty()) {
        *why = QStringLiteral("ser2net is not installed");
        return {};
    }
    quint16 port = 0;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        port = probe.serverPort();
    }
    QFile config(folder + QStringLiteral("/ser2net.yaml"));
    if (!config.open(QIODevice::WriteOnly)) {
        *why = config.errorString();
        return {};
    }
    config.write(QStringLiteral("connection: &board\n    accepter: tcp,127.0.0.1,%1\n"
                                "    connector: serialdev,%2,9600n81,local\n")
                     .arg(port)
                     .arg(device)
                     .toLocal8Bit());
    config.close();
    server.start(program, {"-n", "-c", config.fileName()});
    for (int i = 0; i < 250 && server.state() != QProcess::NotRunning; ++i) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (socket.waitForConnected(200))
            return QStringLiteral("socket://127.0.0.1:%1").arg(port);
        QThread::msleep(20);
    }
    *why = QStringLiteral("ser2net did not start");
    return {};
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    int runs = 200;
    const int runsAt = int(args.indexOf(QStringLiteral("--runs")));
    if (runsAt > 0 && runsAt + 1 < args.size())
        runs = std::max(1, args.at(runsAt + 1).toInt());
    const bool cpu = !args.contains(QStringLiteral("--no-cpu"));
    const bool network = args.contains(QStringLiteral("--ser2net"));

    // Keep the board's and the settings' files away from the user's home.
    QTemporaryDir root;
    qputenv("PVELM_ROOT", root.path().toLocal8Bit());

    sim::VirtualBoard board;
    QString error;
    if (!board.start(&error)) {
        std::fprintf(stderr, "bench_link: virtual board: %s\n", qPrintable(error));
        return 1;
    }
    QProcess server;
    QString device = board.devicePath();
    if (network) {
        device = startSer2net(server, root.path(), board.devicePath(), &error);
        if (device.isEmpty()) {
            std::fprintf(stderr, "bench_link: %s\n", qPrintable(error));
            return 1;
        }
    }
    Link link;
    link.setPortOverride(device);
    link.opencomport();
    if (!link.isPortOpen()) {
        std::fprintf(stderr, "bench_link: %s\n", qPrintable(link.portOpenError()));
        return 1;
    }

    std::printf("bench_link: %d runs each against the virtual board on %s\n", runs, qPrintable(device));
    QString read = QString::fromLatin1(kShortRamReadTemplate);
    fillField(read, 3, 4, hexField(0x0010, 4));
    report("smallcomax", measure(
                             link, runs, [&] { link.linkPacket = read; }, [&] { link.smallcomax(); }));
    report("docomax", measure(
                          link, runs,
                          [&] {
                              link.cmdCode = QStringLiteral("R02");
                              link.cmdAddress = QStringLiteral("00000");
                              link.cmdParam1 = link.cmdParam2 = link.cmdParam3 = QStringLiteral("000");
                              link.cmdData.clear();
                          },
                          [&] { link.docomax(); }));

    if (cpu) {
        board.setFault(sim::Fault::NoAnswer);
        QString packet = QString::fromLatin1(kLongTemplate);
        fillField(packet, 4, 3, QStringLiteral("R15"));
        link.linkPacket = packet;
        const qint64 wall0 = nowNs();
        const qint64 thread0 = cpuNs(CLOCK_THREAD_CPUTIME_ID);
        const qint64 process0 = cpuNs(CLOCK_PROCESS_CPUTIME_ID);
        link.rawsender();
        const double wall = double(nowNs() - wall0);
        const double thread = double(cpuNs(CLOCK_THREAD_CPUTIME_ID) - thread0);
        const double process = double(cpuNs(CLOCK_PROCESS_CPUTIME_ID) - process0);
        std::printf("silent board: rawsender waited %.2f s (code %s); console thread CPU %.3f ms = %.4f %% of "
                    "wall; whole process %.3f ms = %.4f %%\n",
                    wall / 1e9, qPrintable(link.linkErrorCode), thread / 1e6, 100.0 * thread / wall, process / 1e6,
                    100.0 * process / wall);
    }
    link.closePort();
    server.kill();
    server.waitForFinished();
    board.stop();
    return 0;
}
