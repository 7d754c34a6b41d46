// One VelmScript source in, a whole compile (both passes and the page merge)
// as `velm compile` runs it, and every file it leaves checked.

#include "compiler/compiler.h"
#include "compiler/pagemerge.h"
#include "compiler/syntax.h"
#include "fuzzsupport.h"

#include <cstring>

#include <QFile>
#include <QList>
#include <QSet>

using namespace pvelm::compiler;
using fuzzsupport::readBytes;

namespace {

QString g_source, g_premerged, g_list, g_fixup, g_fixup1, g_hex;

// Every line of a page-line file is a five-digit page number and the page
// digits, 533 characters, ended by CR LF. Returns the page numbers in order.
QList<int> checkPageLines(const QByteArray &bytes)
{
    QList<int> pages;
    const qsizetype step = kPageLineLength + 2;
    FUZZ_CHECK(bytes.size() % step == 0);
    for (qsizetype at = 0; at < bytes.size(); at += step) {
        const char *line = bytes.constData() + at;
        FUZZ_CHECK(line[kPageLineLength] == '\r' && line[kPageLineLength + 1] == '\n');
        FUZZ_CHECK(!std::memchr(line, '\r', kPageLineLength) && !std::memchr(line, '\n', kPageLineLength));
        const int page = pageOfLine(QByteArray::fromRawData(line, kPageLineLength));
        FUZZ_CHECK(page >= 0);
        pages << page;
    }
    return pages;
}

QByteArray withLineEnds(const QList<QByteArray> &lines)
{
    QByteArray out;
    for (const QByteArray &line : lines)
        out += line + "\r\n";
    return out;
}

// The script editor colours each line the way the compiler takes it: the
// same blank lines, labels and ignored lines, in stretches that stay inside
// the line and come in column order.
void checkColouring(const QList<QByteArray> &lines)
{
    // Each line is taken alone, from the start of a pass.
    static Compiler c;
    static std::vector<SyntaxSpan> spans;
    for (const QByteArray &raw : lines) {
        const QString text = QString::fromLatin1(raw);
        const LineKind kind = classifyLine(text, spans);
        int end = 0;
        for (const SyntaxSpan &span : spans) {
            FUZZ_CHECK(span.start >= end && span.length > 0 && span.start + span.length <= text.size());
            end = span.start + span.length;
        }
        c.beginPass(1);
        c.setRawLine(raw);
        const Outcome::Kind taken = c.translateStatement().kind;
        FUZZ_CHECK((kind == LineKind::Blank) == (taken == Outcome::Blank));
        FUZZ_CHECK((kind == LineKind::Label) == (taken == Outcome::LabelDefined));
        FUZZ_CHECK(kind != LineKind::Invalid || taken == Outcome::Ignored);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    const QString dir = fuzzsupport::makeRoot() + QLatin1Char('/');
    g_source = dir + QStringLiteral("velm.txt");
    g_premerged = dir + QStringLiteral("premerged.tmp");
    g_list = dir + QStringLiteral("list.txt");
    g_fixup = dir + QStringLiteral("fixup.tmp");
    g_fixup1 = dir + QStringLiteral("fixup1.tmp");
    g_hex = dir + QStringLiteral("flash.tmp");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Nothing left by the last input may pass for this one's output.
    for (const QString &f : {g_premerged, g_list, g_fixup, g_fixup1, g_hex})
        QFile::remove(f);
    const QByteArray source(reinterpret_cast<const char *>(data), qsizetype(size));
    FUZZ_CHECK(fuzzsupport::writeBytes(g_source, source.constData(), size));

    Compiler c;
    c.setTempHexPath(g_hex);
    c.setMergePaths(g_fixup, g_fixup1);
    c.setPathProvider([] { return PassPaths{g_source, g_premerged, g_list}; });
    const bool ok = c.compile();

    FUZZ_CHECK(c.failures().size() == c.failureReasons().size());
    FUZZ_CHECK(ok || !c.failures().isEmpty());
    FUZZ_CHECK(c.counters().errorbumper == c.diagnostics().size());

    // UTF-16 and UTF-32 text (a byte-order mark or a NUL byte) is refused
    // before anything is written, with one message.
    bool listExists = false;
    const QByteArray list = readBytes(g_list, &listExists);
    if (source.contains('\0') || source.startsWith("\xFF\xFE") || source.startsWith("\xFE\xFF")) {
        FUZZ_CHECK(!ok && c.failures().size() == 1 && c.failures().first().startsWith(QLatin1String("Not compiled: ")));
        FUZZ_CHECK(!listExists && !QFile::exists(g_premerged) && !QFile::exists(g_hex));
        return 0;
    }
    // The list file is always made; a pass that ran to its end leaves the
    // report at its end, and its echo is the source line by line (without
    // a UTF-8 byte-order mark).
    FUZZ_CHECK(listExists);
    const QList<QByteArray> lines = splitLines(source.startsWith("\xEF\xBB\xBF") ? source.mid(3) : source);
    if (c.lastPassCompleted()) {
        FUZZ_CHECK(list.endsWith(withLineEnds(c.reportLines())));
        FUZZ_CHECK(c.echo() == withLineEnds(lines));
    }

    bool premergedExists = false;
    const QList<int> premerged = checkPageLines(readBytes(g_premerged, &premergedExists));
    FUZZ_CHECK(premergedExists);

    bool hexExists = false;
    const QList<int> hex = checkPageLines(readBytes(g_hex, &hexExists));
    FUZZ_CHECK(!ok || hexExists);
    if (hexExists) {
        // The merge put each page's first line in fixup.tmp and every later
        // one in fixup1.tmp, and folded them into one line a page, in order.
        const QList<int> fixup = checkPageLines(readBytes(g_fixup));
        const QList<int> fixup1 = checkPageLines(readBytes(g_fixup1));
        FUZZ_CHECK(fixup.size() + fixup1.size() == premerged.size());
        FUZZ_CHECK(hex == fixup);
        FUZZ_CHECK(QSet<int>(hex.begin(), hex.end()).size() == hex.size());
        FUZZ_CHECK(QSet<int>(premerged.begin(), premerged.end()) == QSet<int>(hex.begin(), hex.end()));
    }
    checkColouring(lines);
    return 0;
}
