// The adapter pulled out in the middle of a download, a flash save, the
// monitor and a held nudge, each driven through its window: the operation
// ends at once, says it failed, gives back its controls, the status bar says
// the port was lost, and the console idles afterwards. And velm's flash save
// over an existing backup, the port pulled mid-way: the backup stays whole.

#include "app/ui/velmcon.h"
#include "editors/ui/nudgebutton.h"
#include "flash/flashpages.h"
#include "settings/hostpaths.h"
#include "sim/virtualboard.h"
#include "support/testenv.h"
#include "ui/messages.h"
#include "ui/toolwindow.h"

#include <ctime>
#include <unistd.h>

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QStatusBar>
#include <QtTest>

using namespace pvelm;

class TestUnplug : public QObject
{
    Q_OBJECT

private slots:
    void unplugMidOperation_data()
    {
        // The menu item that opens the window ("": the main window) | the
        // control the operator works | where the failure shows ("": the
        // status bar only) | what it shows | controls usable afterwards.
        QTest::addColumn<QString>("row");
        QTest::newRow("download") << "filegobblery|toflash|Flashindicator|FAIL|toflash Readvelm";
        QTest::newRow("flash save") << "binsendY|savefla|Text3|(Serial port not open)|savefla readfla Command6";
        QTest::newRow("monitor") << "|Monitor|||Run Monitor Getstatus";
        QTest::newRow("nudge held") << "posbuild|posup(0)|responce|7 Serial port not open|posup(0) getcur";
    }
    void unplugMidOperation()
    {
        // The adapter pulled out while an operation runs on it: the
        // operation ends at once however it waits, says it failed, gives
        // back every control, and the status bar says the port was lost.
        QFETCH(QString, row);
        const QStringList field = row.split('|');
        TestRoot root;
        setMessageHandler([](const QString &) {});
        sim::VirtualBoard board;
        QVERIFY(board.start());
        board.setBaud(57600); // about 100 ms a flash page
        QDir().mkpath(root.file("dosdevices"));
        QVERIFY(QFile::link(board.devicePath(), hostpaths::dosDeviceLink(1)));
        Velmcon velmcon;
        QVERIFY(velmcon.Form_Load());
        velmcon.show();
        QStringList pages;
        for (int page = 0; page < 20; ++page)
            pages << flash::pageLine(page, QString(528, QLatin1Char('A')));
        QVERIFY(writeAllBytes(hostpaths::toHost("c:\\Corvane\\flash.tmp"), pages.join("\r\n").toLatin1()));
        QWidget *window = &velmcon;
        if (!field[0].isEmpty()) {
            velmcon.findChild<QAction *>(field[0])->trigger();
            window = velmcon.findChildren<ToolWindow *>().constLast();
            QVERIFY(QTest::qWaitForWindowActive(window));
        }
        if (auto *endpage = window->findChild<QLineEdit *>("endpage"))
            endpage->setText("40");

        Link &link = velmcon.link();
        QElapsedTimer sinceLoss;
        bool midway = false;
        QTimer::singleShot(250, &velmcon, [&] {
            midway = link.isHeld() || (link.monitoring && !link.isBusy());
            board.stop();
            sinceLoss.start();
        });
        alarm(20); // a hang ends the test here rather than at CTest's timeout
        auto *control = window->findChild<QAbstractButton *>(field[1]);
        if (qobject_cast<editors::NudgeButton *>(control)) {
            QTest::keyPress(control, Qt::Key_Space); // returns when the held nudge ends
            QTest::keyRelease(control, Qt::Key_Space);
        } else {
            control->click();
        }
        alarm(0);
        const qint64 ended = sinceLoss.elapsed();
        QVERIFY(midway);
        QVERIFY2(ended < 1000, qPrintable(QString::number(ended)));

        if (!field[2].isEmpty()) {
            QWidget *shows = window->findChild<QWidget *>(field[2]);
            const QString text =
                shows->property(qobject_cast<QPlainTextEdit *>(shows) ? "plainText" : "text").toString();
            QVERIFY2(text.contains(field[3]), qPrintable(text));
        }
        for (const QString &name : field[4].split(' '))
            QVERIFY2(window->findChild<QWidget *>(name)->isEnabled(), qPrintable(name));
        QVERIFY(!link.isBusy() && !link.isPortOpen());
        const QString portState = velmcon.statusBar()->findChild<QLabel *>("portState")->text();
        QVERIFY2(portState.contains("  lost: "), qPrintable(portState));

        // Nothing left running: the console idles.
        const std::clock_t cpu = std::clock();
        QTest::qWait(500);
        const long cpuMs = long((std::clock() - cpu) * 1000 / CLOCKS_PER_SEC);
        qInfo("ended %lld ms after the loss; %ld ms of CPU in the next 500 ms", ended, cpuMs);
        QVERIFY(cpuMs < 100);
    }

    void velmSaveKeepsBackup()
    {
        // The backup stays, the pages read are whole lines in FILE.partial.
        TestRoot root;
        sim::VirtualBoard board;
        QVERIFY(board.start());
        board.setBaud(57600);
        const QString file = root.file("Flashda.fla");
        const QByteArray backup = flash::pageLine(7, QString(528, QLatin1Char('B'))).toLatin1() + "\r\n";
        QVERIFY(writeAllBytes(file, backup));
        QProcess velm;
        velm.start(PVELM_BINARY_DIR "/velm", {"--port", board.devicePath(), "flash", "save", "0", "40", file});
        // Pulled once two pages are on their way to the disk.
        const auto twoPages = [&] {
            const QFileInfoList saving = QDir(root.path()).entryInfoList({"Flashda.fla.??????"}, QDir::Files);
            return !saving.isEmpty() && saving.first().size() >= 2 * 535;
        };
        QTRY_VERIFY_WITH_TIMEOUT(twoPages(), 3000);
        board.stop();
        QVERIFY(velm.waitForFinished(10000));
        const QString err = velm.readAllStandardError();
        QVERIFY2(velm.exitCode() == 3, qPrintable(err));
        QCOMPARE(readAllBytes(file), backup);
        const QList<QByteArray> lines = readAllBytes(file + ".partial").split('\n');
        QVERIFY2(lines.size() > 2 && lines.size() < 42 && lines.last().isEmpty(), qPrintable(err));
        for (int page = 0; page < lines.size() - 1; ++page)
            QCOMPARE(lines.at(page).left(5) + QByteArray::number(lines.at(page).size()),
                     flash::pageField(QString::number(page)).toLatin1() + "534");
        QVERIFY2(err.contains(QStringLiteral("%1 kept as it was; the pages 0 to %2 read are in %1.partial")
                                  .arg(file)
                                  .arg(lines.size() - 2)),
                 qPrintable(err));
    }
};

QTEST_MAIN(TestUnplug)
#include "tst_unplug.moc"
