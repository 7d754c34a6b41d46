// The system setup's rules, through velm setup set, which fits the boxes
// as Save Parameters does: how each box is fitted into the settings record,
// the columns it never touches, the fields printed as the window shows them,
// and a refused field name. The window itself is driven in tst_layouts.

#include "settings/hostpaths.h"
#include "settings/settings.h"
#include "support/testenv.h"

#include <QtTest>

using namespace pvelm;

class TestSsetup : public QObject
{
    Q_OBJECT

private slots:
    void fittingThroughVelmSetup()
    {
        // Each box fitted into its field, as Save Parameters and velm setup
        // set both fit them: serial fields behind their fill (the baud's is
        // 038400, not the default 057600) keeping the last characters, paths
        // right-aligned keeping their end. Header, reserved values and
        // filler of an odd record stay as they are.
        TestRoot root;
        QByteArray odd = SettingsRecord::defaultRecord();
        odd.replace(9, 16, "Someone else's  ");
        odd.replace(49, 36, QByteArray(36, '7'));
        odd.replace(99, 26, "3019200e72" + QByteArray(16, '9'));
        odd.replace(330, 100, QByteArray(100, '#'));
        QVERIFY(writeAllBytes(hostpaths::settingsFile(), odd));
        const VelmRun r = runVelm({"setup", "set", "comport=12", "combaud=300", "comparity=ev",
                                   "combits=", "comstopbits=", "comother=", "flashfileloc=f", "gfilebox=d:\\a b\\x.txt",
                                   "listfileloc=c:\\" + QString(40, 'x'), "flashmemfileloc=m"});
        QCOMPARE(r.exitCode, 0);
        QByteArray expected = odd;
        expected.replace(99, 26, "2400300v81" + QByteArray(16, '0'));
        expected.replace(199, 128,
                         QByteArray(31, ' ') + "f" + QByteArray(20, ' ') + "d:\\a b\\x.txt" + QByteArray(32, 'x') +
                             QByteArray(31, ' ') + "m");
        QCOMPARE(readAllBytes(hostpaths::settingsFile()), expected);
        // The fields are printed as the window shows them.
        QVERIFY(r.out.contains("comport=2\ncombaud=400300\ncomparity=v\ncombits=8\ncomstopbits=1\ncomother=" +
                               QByteArray(16, '0') + "\ngfilebox=" + QByteArray(20, ' ') + "d:\\a b\\x.txt\n"));
        QCOMPARE(runVelm({"setup", "set", "baud=1"}).exitCode, 2);
    }
};

QTEST_GUILESS_MAIN(TestSsetup)
#include "tst_ssetup.moc"
