// velm serving four boards at once: one board that fails does not stop the
// others, the exit status is the worst board's, the JSON names each board's
// outcome; and velm ports with its COMn mapping.

#include "flash/flashpages.h"
#include "sim/virtualboard.h"
#include "support/testenv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using pvelm::sim::Fault;
using pvelm::sim::VirtualBoard;

namespace {

// Which board of the four misbehaves, and how: a fault, silence from a page
// on, or a port that does not exist instead of the board.
struct Case
{
    QStringList command; // "FILE" stands for a file of the test's folder
    int badBoard;
    Fault fault;
    int silentFromPage;
    bool badPort;
    int exitCode;
};

QByteArray pageLines(int pages)
{
    QByteArray text;
    for (int p = 0; p < pages; ++p)
        text +=
            pvelm::flash::pageLine(p, QString(512, QLatin1Char("0123456789ABCDEF"[p])) + QString(16, 'F')).toLatin1() +
            "\r\n";
    return text;
}

} // namespace

Q_DECLARE_METATYPE(Case)

class TestManyBoards : public QObject
{
    Q_OBJECT

private slots:
    void fourBoards_data()
    {
        QTest::addColumn<Case>("c");
        // Silent after two pages: the download started, so the job failed (1).
        QTest::newRow("download, one board goes silent") << Case{{"download", "FILE"}, 1, Fault::None, 2, false, 1};
        // Not one page read, or the port not there: no link (3).
        QTest::newRow("flash save, one short reply")
            << Case{{"flash", "save", "0", "2", "FILE"}, 2, Fault::ShortReply, -1, false, 3};
        QTest::newRow("version, one port missing") << Case{{"version"}, 3, Fault::None, -1, true, 3};
    }
    void fourBoards()
    {
        QFETCH(Case, c);
        TestRoot root;
        std::array<VirtualBoard, 4> boards;
        QStringList args;
        for (int i = 0; i < 4; ++i) {
            QVERIFY(boards[i].start());
            if (i == c.badBoard) {
                boards[i].setFault(c.fault);
                boards[i].setSilentFromPage(c.silentFromPage);
            }
            args << "--port" << (i == c.badBoard && c.badPort ? root.file("no-such-port") : boards[i].devicePath());
        }
        const QString file = root.file("pages.fla");
        QVERIFY(writeAllBytes(file, pageLines(4)));
        for (const QString &word : c.command)
            args << (word == "FILE" ? file : word);

        const VelmRun r = runVelm(args + QStringList{"--json"});
        QCOMPARE(r.exitCode, c.exitCode);
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(r.out, &error);
        QVERIFY2(doc.isArray(), qPrintable(error.errorString() + ": " + r.out));
        const QJsonArray array = doc.array();
        QCOMPARE(array.size(), 4);
        for (int i = 0; i < 4; ++i) {
            const QJsonObject o = array.at(i).toObject();
            QCOMPARE(o.keys(), (QStringList{"exit", "message", "ok", "port", "result"}));
            QCOMPARE(o.value("port").toString(), args.at(2 * i + 1));
            const bool bad = i == c.badBoard;
            QCOMPARE(o.value("ok").toBool(), !bad);
            QCOMPARE(o.value("exit").toInt(), bad ? c.exitCode : 0);
            QVERIFY(o.value("message").isString() && !o.value("message").toString().isEmpty());
            const QJsonObject result = o.value("result").toObject();
            if (c.command.first() == "version" && !bad)
                QCOMPARE(result.value("version").toString(), VirtualBoard::versionText().left(13));
            if (c.command.first() == "download" && !bad)
                QCOMPARE(boards[i].state().flash.left(3 * 264), boards[0].state().flash.left(3 * 264));
            if (c.command.first() == "flash") {
                // Each board's own file, named by its port; none for the
                // board that failed (its pages read so far lie beside it).
                const QString own = root.file("pages-" + QFileInfo(boards[i].devicePath()).fileName() + ".fla");
                QCOMPARE(result.value("file").toString(), own);
                QCOMPARE(QFileInfo::exists(own), !bad);
                if (!bad)
                    QCOMPARE(readAllBytes(own).count("\r\n"), 3);
            }
        }
        // Without --json: a table, one row a board with its exit status.
        if (c.badPort) {
            const VelmRun table = runVelm(args);
            QCOMPARE(table.exitCode, c.exitCode);
            const QList<QByteArray> rows = table.out.split('\n');
            QCOMPARE(rows.size(), 7);
            QVERIFY(rows.at(4).startsWith(args.at(7).toLocal8Bit()));
            QVERIFY2(rows.at(4).contains(" 3     Canot open serial port"), rows.at(4).constData());
            QCOMPARE(rows.at(5), "3 of 4 boards ok");
        }
    }

    void ports()
    {
        TestRoot root;
        VirtualBoard board;
        QVERIFY(board.start());
        QDir().mkpath(root.file("dosdevices"));
        QVERIFY(QFile::link(board.devicePath(), root.file("dosdevices/com7")));
        QVERIFY(QFile::link("/nonexistent/ttyUSB9", root.file("dosdevices/com8")));
        const VelmRun r = runVelm({"ports", "--json"});
        QCOMPARE(r.exitCode, 0);
        const QJsonArray array = QJsonDocument::fromJson(r.out).array();
        QMap<QString, QJsonObject> byLocation;
        for (const QJsonValue &v : array) {
            const QJsonObject o = v.toObject();
            QCOMPARE(o.keys(), (QStringList{"byId", "com", "description", "location", "manufacturer", "name", "present",
                                            "serialNumber"}));
            QVERIFY(o.value("com").isArray() && o.value("present").isBool());
            byLocation.insert(o.value("location").toString(), o);
        }
        // Links to devices the system does not list as serial ports still
        // show, with whether anything is there.
        QCOMPARE(byLocation.value(board.devicePath()).value("com").toArray(), QJsonArray{"COM7"});
        QCOMPARE(byLocation.value(board.devicePath()).value("present").toBool(), true);
        QCOMPARE(byLocation.value("/nonexistent/ttyUSB9").value("com").toArray(), QJsonArray{"COM8"});
        QCOMPARE(byLocation.value("/nonexistent/ttyUSB9").value("present").toBool(), false);
    }
};

QTEST_GUILESS_MAIN(TestManyBoards)
#include "tst_manyboards.moc"
