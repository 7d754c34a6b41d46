// The application quitting while an exchange waits ends the wait like
// stopAll(). Its own executable: once the application quits, no later event
// loop of the process runs.

#include "link/link.h"
#include "support/scriptedpeer.h"
#include "support/testenv.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

class tst_Quit : public QObject
{
    Q_OBJECT

private slots:
    void quitDuringWait();
};

void tst_Quit::quitDuringWait()
{
    TestRoot root;
    ScriptedPeer peer;
    QVERIFY(peer.open());
    pvelm::Link link;
    link.setPortOverride(peer.devicePath());
    link.opencomport();
    QVERIFY(link.isPortOpen());

    QTimer::singleShot(50, QCoreApplication::instance(), [] { QCoreApplication::exit(0); });
    QElapsedTimer clock;
    clock.start();
    QVERIFY(link.rawsender()); // silent board: would wait 8 to 12 s
    QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(link.isStopped());
    QCOMPARE(link.linkErrorCode, QStringLiteral("Z"));
    QCOMPARE(peer.received(), QByteArray("&")); // no further attempts
}

QTEST_GUILESS_MAIN(tst_Quit)
#include "tst_quit.moc"
