// Several boards at once. Each board is served by a velm of its own (this
// program again, with that board's --port), so the boards run truly in
// parallel: every link keeps its own thread of waits, and nothing one board
// does (a hang, a crash, a Ctrl+C handler) reaches another. This process only
// starts them, reads what they print, shows one progress line per board and
// gathers the results.

#include "cli/manyboards.h"

#include "flash/transfer.h"
#include "settings/hostpaths.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <memory>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTimer>

namespace pvelm::cli {

namespace {

const QStringList &manyBoardCommands()
{
    static const QStringList names{QStringLiteral("version"),    QStringLiteral("download"),
                                   QStringLiteral("flash save"), QStringLiteral("flash write"),
                                   QStringLiteral("params get"), QStringLiteral("run"),
                                   QStringLiteral("stop")};
    return names;
}

volatile std::sig_atomic_t g_interrupts = 0;

void onInterrupt(int)
{
    g_interrupts = g_interrupts + 1;
}

struct Board
{
    QString port;
    QString file; // flash save: this board's file
    std::unique_ptr<QProcess> process;
    QByteArray out;
    QByteArray errPending; // a line not yet ended
    QStringList errLines;  // what it said on standard error, without progress
    // Progress, as the board's velm reported it.
    int done = 0;
    int total = 0;
    qint64 leftMs = -1;
    QString page;
    bool finished = false;
    int exit = kExitFailed;
    QString abnormal; // how it ended when it did not end by itself

    bool ok() const { return finished && exit == kExitSuccess; }
};

QStringList outputLines(const Board &b)
{
    QStringList lines = QString::fromLatin1(b.out).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
}

// The last error the board's velm gave, without "velm: "; warnings are not
// errors.
QString lastError(const Board &b)
{
    for (qsizetype i = b.errLines.size() - 1; i >= 0; --i) {
        const QString &line = b.errLines.at(i);
        if (line.startsWith(QLatin1String("velm: warning: ")))
            continue;
        return line.startsWith(QLatin1String("velm: ")) ? line.mid(6) : line;
    }
    return QString();
}

// One line on what the board did: its result on success, its error otherwise.
QString message(const Board &b, const QString &command)
{
    if (!b.abnormal.isEmpty())
        return b.abnormal;
    if (!b.ok()) {
        const QString error = lastError(b);
        return error.isEmpty() ? QStringLiteral("failed with exit status %1").arg(b.exit) : error;
    }
    const QStringList lines = outputLines(b);
    if (lines.isEmpty())
        return QStringLiteral("sent");
    if (command == QLatin1String("version"))
        return lines.constFirst().trimmed();
    return lines.constLast();
}

// The command's result from what it printed, for the JSON.
QJsonObject result(const Board &b, const QString &command)
{
    const QStringList lines = outputLines(b);
    QJsonObject r;
    if (command == QLatin1String("version")) {
        if (b.ok() && lines.size() >= 2) {
            r.insert(QStringLiteral("version"), lines.at(0));
            r.insert(QStringLiteral("reply"), lines.at(1));
        } else if (!lines.isEmpty()) {
            r.insert(QStringLiteral("reply"), lines.constLast());
        }
    } else if (command == QLatin1String("params get")) {
        for (const QString &line : lines) {
            const qsizetype eq = line.indexOf(QLatin1Char('='));
            if (eq <= 0)
                continue;
            bool number = false;
            const qint64 value = line.mid(eq + 1).toLongLong(&number);
            r.insert(line.left(eq), number ? QJsonValue(value) : QJsonValue(line.mid(eq + 1)));
        }
    } else if (!lines.isEmpty()) {
        r.insert(QStringLiteral("summary"), lines.constLast());
    }
    if (!b.file.isEmpty())
        r.insert(QStringLiteral("file"), b.file);
    return r;
}

// The arguments of the velm that serves one board.
QStringList childArguments(const ManyBoards &run, const Board &b)
{
    QStringList a = run.portOptions.value_or(QStringList{QStringLiteral("--port"), b.port});
    // One board (--json alone) keeps the file names as given.
    if (run.trace)
        a << QStringLiteral("--trace") << (run.ports.size() > 1 ? taggedFile(*run.trace, b.port) : *run.trace);
    a << run.command->name.split(QLatin1Char(' '));
    for (const Option &o : run.command->options) {
        if (!run.options.contains(o.name))
            continue;
        a << (o.valueName.isEmpty() ? o.name : o.name + QLatin1Char('=') + run.options.value(o.name));
    }
    a << QStringLiteral("--");
    QStringList args = run.args;
    if (!b.file.isEmpty())
        args[2] = b.file;
    return a + args;
}

int terminalWidth()
{
    winsize ws{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 20)
        return ws.ws_col;
    return 80;
}

// The boards' progress lines on a terminal, redrawn in place.
class ProgressLines
{
public:
    ProgressLines(const std::vector<Board> &boards, int portWidth)
        : m_boards(boards), m_portWidth(portWidth), m_width(terminalWidth() - 1)
    {
    }

    void draw()
    {
        QByteArray bytes;
        if (m_drawn)
            bytes += "\x1b[" + QByteArray::number(qsizetype(m_boards.size())) + 'A';
        for (const Board &b : m_boards)
            bytes += "\r\x1b[K" + (b.port.leftJustified(m_portWidth) + state(b)).left(m_width).toLocal8Bit() + '\n';
        m_drawn = true;
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
        std::fflush(stderr);
    }

private:
    static QString state(const Board &b)
    {
        if (b.finished)
            return b.ok() ? QStringLiteral("done") : QStringLiteral("failed (exit %1)").arg(b.exit);
        if (b.total == 0)
            return QStringLiteral("running");
        QString s = QStringLiteral("page %1  %2/%3").arg(b.page).arg(b.done).arg(b.total);
        const QString left = flash::formatRemaining(b.leftMs);
        if (!left.isEmpty())
            s += QStringLiteral("  ") + left + QStringLiteral(" left");
        return s;
    }

    const std::vector<Board> &m_boards;
    int m_portWidth;
    int m_width;
    bool m_drawn = false;
};

// Takes what a board's velm wrote on standard error: progress lines update
// the board, every other line is kept.
void takeErrors(Board &b, const QByteArray &bytes)
{
    b.errPending += bytes;
    qsizetype end;
    while ((end = b.errPending.indexOf('\n')) >= 0) {
        const QString line = QString::fromLocal8Bit(b.errPending.left(end));
        b.errPending.remove(0, end + 1);
        if (!line.startsWith(QLatin1String(kBoardProgressPrefix))) {
            b.errLines << line;
            continue;
        }
        const QStringList f = line.mid(qsizetype(sizeof kBoardProgressPrefix) - 1).split(QLatin1Char(' '));
        if (f.size() < 4)
            continue;
        b.done = f.at(0).toInt();
        b.total = f.at(1).toInt();
        b.leftMs = f.at(2).toLongLong();
        b.page = f.at(3);
    }
}

void printTable(const std::vector<Board> &boards, const QString &command, int portWidth)
{
    printLine(QStringLiteral("PORT").leftJustified(portWidth) + QStringLiteral("EXIT  RESULT"));
    for (const Board &b : boards)
        printLine(b.port.leftJustified(portWidth) + QString::number(b.exit).leftJustified(6) + message(b, command));
    const auto ok = std::count_if(boards.begin(), boards.end(), [](const Board &b) { return b.ok(); });
    printLine(QStringLiteral("%1 of %2 boards ok").arg(ok).arg(boards.size()));
}

void printJson(const std::vector<Board> &boards, const QString &command)
{
    QJsonArray array;
    for (const Board &b : boards) {
        QJsonObject o;
        o.insert(QStringLiteral("port"), b.port);
        o.insert(QStringLiteral("ok"), b.ok());
        o.insert(QStringLiteral("exit"), b.exit);
        o.insert(QStringLiteral("message"), message(b, command));
        o.insert(QStringLiteral("result"), result(b, command));
        array.append(o);
    }
    const QByteArray bytes = QJsonDocument(array).toJson(QJsonDocument::Indented);
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

} // namespace

bool servesManyBoards(const Command &command)
{
    return manyBoardCommands().contains(command.name);
}

bool reportsBoardProgress()
{
    return qEnvironmentVariableIsSet(kBoardProgressVariable);
}

QString portTag(const QString &port)
{
    QString name = port;
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    const auto m = scheme.match(name);
    if (m.hasMatch())
        name = name.mid(m.capturedLength());
    else
        name = name.section(QLatin1Char('/'), -1).section(QLatin1Char('\\'), -1);
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9._-]"));
    name.replace(unsafe, QStringLiteral("_"));
    // A name of dots alone would make "." or ".." of a file name.
    if (name.isEmpty() || name.count(QLatin1Char('.')) == name.size())
        name = QStringLiteral("port");
    return name;
}

QString taggedFile(const QString &file, const QString &port)
{
    const qsizetype slash = std::max(file.lastIndexOf(QLatin1Char('/')), file.lastIndexOf(QLatin1Char('\\')));
    const qsizetype dot = file.lastIndexOf(QLatin1Char('.'));
    // A leading dot (".velmrc") is part of the name, not an extension.
    const qsizetype at = dot > slash + 1 ? dot : file.size();
    return file.left(at) + QLatin1Char('-') + portTag(port) + file.mid(at);
}

QStringList readPortsFile(const QString &path, QString *error)
{
    QFile file(hostpaths::toHost(path));
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read the ports file %1: %2").arg(path, file.errorString());
        return {};
    }
    QStringList ports;
    for (const QByteArray &raw : file.readAll().split('\n')) {
        const QString line = QString::fromLocal8Bit(raw).trimmed();
        if (!line.isEmpty() && !line.startsWith(QLatin1Char('#')))
            ports << line;
    }
    if (ports.isEmpty())
        *error = QStringLiteral("the ports file %1 names no port").arg(path);
    return ports;
}

QString checkManyBoards(const ManyBoards &run)
{
    QSet<QString> seen;
    QHash<QString, QString> tags;
    const bool filesByPort = run.trace || run.command->name == QLatin1String("flash save");
    for (const QString &port : run.ports) {
        if (seen.contains(port))
            return QStringLiteral("port %1 given twice").arg(port);
        seen.insert(port);
        const QString tag = portTag(port);
        if (filesByPort && tags.contains(tag))
            return QStringLiteral("ports %1 and %2 would write the same files (both named %3)")
                .arg(tags.value(tag), port, tag);
        tags.insert(tag, port);
    }
    return QString();
}

int runManyBoards(const ManyBoards &run)
{
    const QString command = run.command->name;
    std::vector<Board> boards(size_t(run.ports.size()));
    int portWidth = 6;
    for (qsizetype i = 0; i < run.ports.size(); ++i) {
        boards[size_t(i)].port = run.ports.at(i);
        if (command == QLatin1String("flash save"))
            boards[size_t(i)].file =
                run.ports.size() > 1 ? taggedFile(run.args.at(2), run.ports.at(i)) : run.args.at(2);
        portWidth = std::max(portWidth, int(run.ports.at(i).size()) + 2);
    }

    // Ctrl+C (or a SIGINT or SIGTERM sent to this process) is passed on to
    // every board's velm as one SIGINT, so each stops after its page. They
    // run in process groups of their own, so the terminal's Ctrl+C reaches
    // them only that way, once, and not again after their page.
    g_interrupts = 0;
    const auto previousInt = std::signal(SIGINT, onInterrupt);
    const auto previousTerm = std::signal(SIGTERM, onInterrupt);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kBoardProgressVariable), QStringLiteral("1"));
    QEventLoop loop;
    qsizetype running = 0;
    for (Board &b : boards) {
        b.process = std::make_unique<QProcess>();
        QProcess *p = b.process.get();
        p->setProcessEnvironment(env);
        p->setStandardInputFile(QProcess::nullDevice());
        p->setChildProcessModifier([] { ::setpgid(0, 0); });
        QObject::connect(p, &QProcess::readyReadStandardOutput, p, [&b, p] { b.out += p->readAllStandardOutput(); });
        QObject::connect(p, &QProcess::readyReadStandardError, p,
                         [&b, p] { takeErrors(b, p->readAllStandardError()); });
        QObject::connect(p, &QProcess::finished, p, [&b, p, &running, &loop](int code, QProcess::ExitStatus status) {
            b.out += p->readAllStandardOutput();
            takeErrors(b, p->readAllStandardError());
            if (!b.errPending.isEmpty())
                takeErrors(b, "\n");
            b.finished = true;
            b.exit = code;
            if (status != QProcess::NormalExit) {
                b.exit = kExitFailed;
                b.abnormal = QStringLiteral("velm for this port ended abnormally (%1)").arg(p->errorString());
            }
            if (--running == 0)
                loop.quit();
        });
        QObject::connect(p, &QProcess::errorOccurred, p, [&b, p, &running, &loop](QProcess::ProcessError e) {
            if (e != QProcess::FailedToStart)
                return;
            b.finished = true;
            b.exit = kExitFailed;
            b.abnormal = QStringLiteral("cannot start velm for this port: %1").arg(p->errorString());
            if (--running == 0)
                loop.quit();
        });
        ++running;
        p->start(QCoreApplication::applicationFilePath(), childArguments(run, b));
    }

    int forwarded = 0;
    std::unique_ptr<ProgressLines> lines;
    if (::isatty(STDERR_FILENO))
        lines = std::make_unique<ProgressLines>(boards, portWidth);
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &tick, [&] {
        for (; forwarded < g_interrupts; ++forwarded) {
            for (Board &b : boards) {
                if (!b.finished && b.process->processId() > 0)
                    ::kill(pid_t(b.process->processId()), SIGINT);
            }
        }
        if (lines)
            lines->draw();
    });
    tick.start(200);
    if (running > 0)
        loop.exec();
    tick.stop();
    std::signal(SIGINT, previousInt);
    std::signal(SIGTERM, previousTerm);
    if (lines)
        lines->draw();

    if (run.json)
        printJson(boards, command);
    else
        printTable(boards, command, portWidth);
    std::fflush(stdout);
    int worst = kExitSuccess;
    for (const Board &b : boards)
        worst = std::max(worst, b.exit);
    return worst;
}

} // namespace pvelm::cli
