// velm compile as a user runs it: exit statuses, the report on standard
// output, one FILE:LINE diagnostic per statement error, the failure message,
// and the files it writes.

#include "support/testenv.h"

#include <QDir>
#include <QtTest>

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    QList<QByteArray> errLines() const { return err.split('\n').mid(0, err.count('\n')); }
};

// velm compile with these arguments; errLines() splits its messages.
Run runCompile(const QStringList &args)
{
    const VelmRun v = runVelm(QStringList{QStringLiteral("compile")} + args);
    return {v.exitCode, v.out, v.err};
}

QString example(const char *name)
{
    return QStringLiteral(PVELM_SOURCE_DIR "/examples/") + QLatin1String(name);
}

} // namespace

class TestCompileCommand : public QObject
{
    Q_OBJECT

private slots:
    void cleanScript();
    void diagnosticsNameSourceLines();
    void settingsSourceAndFailure();
    void usage_data();
    void usage();
};

void TestCompileCommand::cleanScript()
{
    TestRoot root;
    const QString list = root.file(QStringLiteral("out/my list.txt"));
    QDir().mkpath(root.file(QStringLiteral("out")));
    const Run r = runCompile({example("address_blocks.txt"), QStringLiteral("--list"), list,
                              QStringLiteral("--hex=") + root.file(QStringLiteral("out/prog.hex"))});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.err, QByteArray());
    const QByteArray report("***************** REPORT ****************\n"
                            "Number of good lines  28\n"
                            "Number of blank lines  11\n"
                            "Number of Errors & Warnings  0\n"
                            "Number of Calls  2  Number of returns  3\n"
                            "Number of Dos  1  Number of loops  1\n");
    QCOMPARE(r.out, report);
    QVERIFY(readAllBytes(list).endsWith(QByteArray(report).replace("\n", "\r\n")));
    QCOMPARE(readAllBytes(root.file(QStringLiteral("out/prog.hex"))).count("\r\n"), 5);
}

void TestCompileCommand::diagnosticsNameSourceLines()
{
    TestRoot root;
    const QString source = example("errors.txt");
    const Run r = runCompile({source});
    QCOMPARE(r.exitCode, 1);
    const QList<QByteArray> lines = r.errLines();
    QCOMPARE(lines.size(), 12);
    for (int i = 0; i < lines.size(); ++i)
        QVERIFY2(lines.at(i).startsWith((source + QStringLiteral(":%1: error: ").arg(i + 3)).toLocal8Bit()),
                 lines.at(i).constData());
    QVERIFY(lines.at(10).contains("NOWHERE"));
    QVERIFY(r.out.contains("Number of Errors & Warnings  12\n"));
    // The list file itself keeps its own format.
    QVERIFY(!readAllBytes(root.file(QStringLiteral("drive_c/Corvane/list.txt"))).contains("error:"));
}

void TestCompileCommand::settingsSourceAndFailure()
{
    TestRoot root;
    // No source file yet: both passes fail at element address 0.
    Run r = runCompile({});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.out, QByteArray());
    const QList<QByteArray> lines = r.errLines();
    QCOMPARE(lines.size(), 2);
    for (const QByteArray &line : lines)
        QVERIFY2(line.startsWith("velm: Processing Error or Canot open Velm or temp File Line#:0 ("), line.constData());

    // With the settings' source in place it compiles from there.
    writeAllBytes(root.file(QStringLiteral("drive_c/Corvane/velm.txt")), "S1=1\r\nGOTO 7\r\n");
    r = runCompile({});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(readAllBytes(root.file(QStringLiteral("drive_c/Corvane/flash.tmp"))).startsWith("0000050010001"));
}

void TestCompileCommand::usage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::newRow("two sources") << QStringList{"a", "b"} << 2;
    QTest::newRow("unknown option") << QStringList{"--lst", "x"} << 2;
    QTest::newRow("option without value") << QStringList{"--hex"} << 2;
    QTest::newRow("help") << QStringList{"--help"} << 0;
}

void TestCompileCommand::usage()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    TestRoot root;
    const Run r = runCompile(args);
    QCOMPARE(r.exitCode, status);
    if (status == 2) {
        QCOMPARE(r.out, QByteArray());
        // Refused command lines touch nothing, not even the settings file.
        QVERIFY(!QFile::exists(root.file(QStringLiteral("drive_c"))));
    } else {
        QVERIFY(r.out.contains("FILE:LINE: error: TEXT"));
    }
}

QTEST_GUILESS_MAIN(TestCompileCommand)
#include "tst_compile.moc"
