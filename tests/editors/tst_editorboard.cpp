// The virtual board's side of the editors, on the protocol engine alone: a
// position it cannot take, and how servos travel after a move and take
// nudges. What Put and Get leave in flash is checked through the windows;
// the reload is the board tools' test.

#include "editors/codecs.h"
#include "sim/boardengine.h"

#include <QtTest>

using namespace pvelm;
using namespace pvelm::editors;
using sim::BoardEngine;

namespace {

struct Step
{
    qint64 ms;        // when the frame arrives
    QString frame;    // "$" long or "-" short
    QString expected; // the reply, or empty for none
};

struct Case
{
    QList<Step> steps;
    std::array<quint16, 8> start{0x8000, 0x8000, 0x8000, 0x8000, 0x8000, 0x8000, 0x8000, 0x8000};
};

QString replyTo(BoardEngine &engine, const Step &step)
{
    QByteArray reply;
    for (const BoardEngine::Output &out : engine.feed("&" + step.frame.toLatin1(), step.ms)) {
        if (out.kind == BoardEngine::OutputKind::Reply)
            reply += out.bytes;
    }
    return QString::fromLatin1(reply);
}

QString longReply(const QString &codeAndData, char result)
{
    return (codeAndData.leftJustified(61, 'x') + result) + "H~";
}

} // namespace

Q_DECLARE_METATYPE(Case)

class TestEditorBoard : public QObject
{
    Q_OBJECT

private slots:
    void commands_data()
    {
        QTest::addColumn<Case>("c");
        QTest::newRow("position above 65535 refused, nothing written")
            << Case{{{0, "$" + positionPutRequest(5, {"70000"}), longReply("OV0R19000005", '1')},
                     {10, "$" + lineRequest("R18", 5), longReply("OV0R18000005" + QString("65535").repeated(8), '0')}}};
        // Servo 1 travels from 32768 to 0 at 10000 a second; the others have no move.
        const QStringList toZero = QStringList{"0"} + QStringList(7, "65535");
        QTest::newRow("move takes time; a nudge stops the servo where it is")
            << Case{{{0, "$" + positionPutRequest(2, toZero), ""},
                     {1000, "-" + movePacket(2), "OT000002H"},
                     {2000, "$" + lineRequest("R01", 0), longReply("OV0R0158F0" + QString("8000").repeated(7), '0')},
                     {2100, "-" + nudgePacket(NudgeFamily::PosUp, 0), "OU550901H"},
                     {9000, "$" + lineRequest("R01", 0), longReply("OV0R015509" + QString("8000").repeated(7), '0')}}};
        QTest::newRow("nudges stop at 0 and 65534")
            << Case{{{0, "-" + nudgePacket(NudgeFamily::BigUp, 0), "OUFFFE01H"},
                     {10, "-" + nudgePacket(NudgeFamily::PosUp, 1), "OUFFFF02H"},
                     {20, "-" + nudgePacket(NudgeFamily::BigDown, 2), "OD000003H"},
                     {30, "-" + nudgePacket(NudgeFamily::BigDown, 1), "ODFFF502H"}},
                    {65530, 65535, 3, 0x8000, 0x8000, 0x8000, 0x8000, 0x8000}};
    }
    void commands()
    {
        QFETCH(Case, c);
        BoardEngine engine;
        engine.state().positions = c.start;
        for (const Step &step : c.steps) {
            const QString reply = replyTo(engine, step);
            if (!step.expected.isEmpty())
                QCOMPARE(reply, step.expected);
        }
    }
};

QTEST_GUILESS_MAIN(TestEditorBoard)
#include "tst_editorboard.moc"
