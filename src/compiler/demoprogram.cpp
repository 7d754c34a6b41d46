#include "compiler/demoprogram.h"

#include "compiler/compiler.h"
#include "compiler/textfiles.h"
#include "settings/hostpaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace pvelm::compiler {

namespace {

// The same text as examples/pick_and_place.txt; a test keeps them equal.
const char kDemo[] = R"velm(
/ Pick-and-place cycle for the Velm demo rig.
/ Servo 1 swings the arm, servo 2 lifts, servo 3 is the gripper.
/ The program starts at line 0; its four positions live at lines 200-203.

DSR1 = 400              / normal move speed
DSR2 = 600              / placing speed, raised a little for every part
MARKER PICKPLACE

CYCLE
DO 10                   / ten parts to a tray
    GOSUB PICK
    GOSUB PLACE
LOOP
OUTPUT 2 ON             / tray-full lamp
WAIT 500
OUTPUT 2 OFF
IFINPUT 1 = 1 GOTO CYCLE   / an empty tray is in place: go again
STOP

PICK
MOVE 200 RATE=DSR1      / over the feeder
S3 = 1000               / open the gripper
MOVE 201 RATE = 800     / down, slowly
WAIT 100
S3 = 2000               / close the gripper
WAIT 150
MOVE 200 TABLE=3        / up again
RETURN

PLACE
MOVE 202                / over the tray
MOVE 203 RATE=DSR2      / down
S3 = 1000               / let go
WAIT 100
MOVE 202
DSR2 + 10
RETURN

ADDRESS 200
POSITION S1=1500, S2=1800, S3=1000     / over the feeder
POSITION S1=1500, S2=1200              / down at the feeder
POSITION S1=2600, S2=1800              / over the tray
POSITION S1=2600, S2=1250              / down at the tray
)velm";

} // namespace

QByteArray demoProgram()
{
    // Skip the line end that opens the raw string.
    return QByteArray(kDemo + 1);
}

bool installDemoProgram(const QString &path, QString *why)
{
    const QString host = hostpaths::toHost(path);
    if (QFileInfo::exists(host))
        return false;
    QDir().mkpath(QFileInfo(host).absolutePath());
    LineWriter out;
    if (!out.create(host, why))
        return false;
    for (const QByteArray &line : splitLines(demoProgram()))
        out.line(line);
    return out.close(why);
}

bool compileDemoProgram(QList<QByteArray> *pageLines, QString *why)
{
    QTemporaryDir dir;
    if (!dir.isValid()) {
        if (why)
            *why = dir.errorString();
        return false;
    }
    PassPaths paths;
    paths.source = dir.filePath(QStringLiteral("demo.txt"));
    paths.premerged = dir.filePath(QStringLiteral("premerged.tmp"));
    paths.list = dir.filePath(QStringLiteral("demo.lst"));
    if (!installDemoProgram(paths.source, why))
        return false;
    Compiler c;
    c.setTempHexPath(dir.filePath(QStringLiteral("flash.tmp")));
    c.setMergePaths(dir.filePath(QStringLiteral("fixup.tmp")), dir.filePath(QStringLiteral("fixup1.tmp")));
    c.setPathProvider([paths] { return paths; });
    QString failure;
    c.setFailureHandler([&failure](const QString &message) { failure = message; });
    if (!c.compile() || c.counters().errorbumper > 0) {
        if (why)
            *why = failure.isEmpty() ? QStringLiteral("the demo program has errors") : failure;
        return false;
    }
    QFile hex(c.tempHexPath());
    if (!hex.open(QIODevice::ReadOnly)) {
        if (why)
            *why = hex.errorString();
        return false;
    }
    pageLines->clear();
    for (const QByteArray &line : splitLines(hex.readAll())) {
        if (line.size() == kPageLineLength)
            pageLines->append(line);
    }
    return true;
}

} // namespace pvelm::compiler
