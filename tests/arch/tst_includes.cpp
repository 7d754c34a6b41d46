// The layers hold: every #include of one area of src/ in another is an edge
// listed in the table "Allowed includes" of docs/ARCHITECTURE.md.

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

namespace {

const QString kSource = QStringLiteral(PVELM_SOURCE_DIR);

// "editors/ui/spdbuild.h" -> "editors/ui", "ui/controls.h" -> "ui".
QString areaOf(const QString &pathInSrc)
{
    const QStringList parts = pathInSrc.split(QLatin1Char('/'));
    if (parts.size() > 2 && parts.at(1) == QLatin1String("ui"))
        return parts.at(0) + QLatin1String("/ui");
    return parts.at(0);
}

// Rows "| `from` | `to`, `to` |" of the table under "## Allowed includes".
QHash<QString, QSet<QString>> allowedEdges()
{
    QFile doc(kSource + QStringLiteral("/docs/ARCHITECTURE.md"));
    if (!doc.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    const QString text = QString::fromUtf8(doc.readAll());
    const qsizetype start = text.indexOf(QLatin1String("\n## Allowed includes"));
    if (start < 0)
        return {};
    QHash<QString, QSet<QString>> edges;
    static const QRegularExpression row(QStringLiteral("^\\|\\s*`([a-z/]+)`\\s*\\|([^|]*)\\|"));
    static const QRegularExpression name(QStringLiteral("`([a-z/]+)`"));
    const QStringList lines = text.mid(start + 1).split(QLatin1Char('\n'));
    for (int i = 1; i < lines.size() && !lines.at(i).startsWith(QLatin1String("## ")); ++i) {
        const auto m = row.match(lines.at(i));
        if (!m.hasMatch())
            continue;
        QSet<QString> &to = edges[m.captured(1)];
        for (auto it = name.globalMatch(m.captured(2)); it.hasNext();)
            to.insert(it.next().captured(1));
    }
    return edges;
}

} // namespace

class TestIncludes : public QObject
{
    Q_OBJECT

private slots:
    void everyEdgeIsListed()
    {
        const auto edges = allowedEdges();
        QVERIFY2(edges.size() > 5, "no table \"## Allowed includes\" in docs/ARCHITECTURE.md");
        static const QRegularExpression include(QStringLiteral("^\\s*#\\s*include\\s+\"([^\"]+)\""));
        QStringList wrong;
        int seen = 0;
        for (QDirIterator it(kSource + QStringLiteral("/src"), {"*.h", "*.cpp"}, QDir::Files,
                             QDirIterator::Subdirectories);
             it.hasNext();) {
            const QString path = it.next();
            const QString inSrc = path.mid(kSource.size() + 5);
            const QString from = areaOf(inSrc);
            if (!edges.contains(from)) {
                wrong << QStringLiteral("%1: the area %2 has no row in the table").arg(inSrc, from);
                continue;
            }
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
            int lineNo = 0;
            while (!file.atEnd()) {
                const QString line = QString::fromUtf8(file.readLine());
                ++lineNo;
                const auto m = include.match(line);
                if (!m.hasMatch() || !QFile::exists(kSource + QStringLiteral("/src/") + m.captured(1)))
                    continue;
                ++seen;
                const QString to = areaOf(m.captured(1));
                if (to != from && !edges.value(from).contains(to))
                    wrong << QStringLiteral("%1:%2: %3 includes %4 (%5)")
                                 .arg(inSrc)
                                 .arg(lineNo)
                                 .arg(from, to, m.captured(1));
            }
        }
        QVERIFY(seen > 100);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1Char('\n'))));
    }
};

QTEST_GUILESS_MAIN(TestIncludes)
#include "tst_includes.moc"
