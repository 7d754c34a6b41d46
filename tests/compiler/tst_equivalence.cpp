// The compiler's line splitter, which every reader of program files uses,
// against the plain way of doing the same: reading byte by byte.

#include "compiler/textfiles.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace pvelm::compiler;

class TestEquivalence : public QObject
{
    Q_OBJECT

private slots:
    void linesSplitAsByteByByte();
};

void TestEquivalence::linesSplitAsByteByByte()
{
    // Short random texts cover every order of CR, LF, CR LF and LF CR, with
    // and without a last line end.
    QRandomGenerator r(11);
    static const char alphabet[] = {'A', 'b', ' ', '\r', '\n', '\0'};
    for (int round = 0; round < 3000; ++round) {
        QByteArray text;
        for (int i = r.bounded(24); i > 0; --i)
            text.append(alphabet[r.bounded(int(sizeof alphabet))]);
        QList<QByteArray> expected{{}};
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text[i] != '\r' && text[i] != '\n') {
                expected.last().append(text[i]);
                continue;
            }
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            expected.append(QByteArray());
        }
        if (expected.last().isEmpty())
            expected.removeLast(); // a text ending in a line end has no open line
        QCOMPARE(splitLines(text), expected);
        QList<QByteArray> seen;
        const bool all = forEachLine(text, [&seen](const QByteArray &line) {
            seen.append(QByteArray(line.constData(), line.size()));
            return seen.size() < 3; // stopping early is honoured
        });
        QCOMPARE(seen, expected.mid(0, 3));
        QCOMPARE(all, expected.size() < 3);
    }
}

QTEST_GUILESS_MAIN(TestEquivalence)
#include "tst_equivalence.moc"
