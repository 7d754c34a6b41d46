#include "compiler/compiler.h"

#include "compiler/pagemerge.h"
#include "settings/hostpaths.h"

#include <cstring>

#include <QFile>
#include <QFileInfo>

namespace pvelm::compiler {

namespace {

// Plain decimal into a buffer kept from line to line.
void setDecimal(QByteArray &text, qint64 value)
{
    char digits[20];
    int n = 0;
    do {
        digits[n++] = char('0' + value % 10);
        value /= 10;
    } while (value > 0);
    text.resize(n);
    char *out = text.data();
    for (int i = 0; i < n; ++i)
        out[i] = digits[n - 1 - i];
}

// Adds one to plain decimal text in place: cheaper than writing the number
// anew on every line.
void incrementDecimal(QByteArray &text)
{
    char *digits = text.data();
    for (qsizetype i = text.size() - 1; i >= 0; --i) {
        if (digits[i] != '9') {
            ++digits[i];
            return;
        }
        digits[i] = '0';
    }
    text.prepend('1'); // all nines
}

} // namespace

Compiler::Compiler()
    : m_tempHexPath(QStringLiteral("c:\\Corvane\\flash.tmp")), m_fixupPath(QString::fromLatin1(kDefaultFixupPath)),
      m_fixup1Path(QString::fromLatin1(kDefaultFixup1Path)), m_pageBuffer(kPageDigits, 'F')
{
    m_labels.clear();
}

void Compiler::setMergePaths(const QString &fixup, const QString &fixup1)
{
    m_fixupPath = fixup;
    m_fixup1Path = fixup1;
}

// ---- compile --------------------------------------------------------------

bool Compiler::compile()
{
    m_labels.clear();
    m_failures.clear();
    m_failureReasons.clear();
    m_premergedCreated = false;
    m_refused = Refusal::None;

    const bool first = translationPass(1);
    bool second = false;
    if (m_refused == Refusal::None) {
        m_premergedCreated = false;
        second = translationPass(2);
    }
    // An output that names the source: nothing was written, and nothing
    // may be removed either.
    if (m_refused == Refusal::SameFile)
        return false;

    const QString hexPath = hostpaths::toHost(m_tempHexPath);
    if (!m_premergedCreated) {
        // The second pass stopped before it made the premerged file; one
        // left from an earlier compile must not pass for this program. The
        // failure has been shown already.
        QFile::remove(hexPath);
        return false;
    }
    PageMerge merge;
    QString why;
    if (!merge.run(hostpaths::toHost(m_passPaths.premerged), hostpaths::toHost(m_fixupPath),
                   hostpaths::toHost(m_fixup1Path), hexPath, &why)) {
        QFile::remove(hexPath);
        reportFailure(QStringLiteral("page merge: ") + why);
        return false;
    }
    return first && second;
}

void Compiler::refuse(Refusal kind, const QString &message)
{
    m_refused = kind;
    m_failures << message;
    m_failureReasons << message;
    if (m_failureHandler)
        m_failureHandler(message);
}

QString Compiler::outputNamingSource() const
{
    const QString &source = m_passPaths.source;
    const QList<QPair<QString, QString>> outputs{
        {QStringLiteral("premerged work file"), m_passPaths.premerged},
        {QStringLiteral("list file"), m_passPaths.list},
        {QStringLiteral("temp hex file"), m_tempHexPath},
        {QStringLiteral("work file"), m_fixupPath},
        {QStringLiteral("work file"), m_fixup1Path},
    };
    for (const auto &[role, path] : outputs) {
        if (hostpaths::sameFile(source, path))
            return QStringLiteral("Not compiled: the %1 %2 is the source file %3; the compile would write over "
                                  "the script. Nothing was written.")
                .arg(role, path, source);
    }
    return QString();
}

void Compiler::reportFailure(const QString &reason)
{
    const QString message = QString::fromLatin1(kFailureMessage) + QString::number(m_lineValue);
    m_failures << message;
    m_failureReasons << reason;
    if (m_failureHandler)
        m_failureHandler(message);
}

void Compiler::beginPass(int passNumber)
{
    m_passNumber = passNumber;
    m_labelCount = 0;
    m_echo.clear();
    m_counters = Counters();
    m_diagnostics.clear();
    m_sourceLines.clear();
    m_lineText = "0";
    m_lineTextPlain = true;
    m_lineValue = 0;
    m_slotIndex = 0;
    m_pageNumber = 0;
    m_pageUntouched = true;
    m_sourceLine = 0;
    m_rawLine.clear();
    m_list.discard();
    m_premerged.discard();
    resetPageBuffer();
}

bool Compiler::translationPass(int passNumber)
{
    beginPass(passNumber);
    m_lastPassCompleted = false;
    m_passPaths = m_pathProvider ? m_pathProvider() : PassPaths();
    const QString source = hostpaths::toHost(m_passPaths.source);
    const QString premerged = hostpaths::toHost(m_passPaths.premerged);
    const QString list = hostpaths::toHost(m_passPaths.list);
    const QString passName = QStringLiteral("pass %1: ").arg(passNumber);

    // Every file the compile writes is checked against the source before
    // the first byte goes out.
    if (const QString clash = outputNamingSource(); !clash.isEmpty()) {
        refuse(Refusal::SameFile, clash);
        return false;
    }
    QByteArray text;
    QString why;
    switch (readScriptFile(source, &text, &why)) {
    case ScriptRead::Ok:
        break;
    case ScriptRead::CannotOpen:
        reportFailure(passName + why);
        return false;
    case ScriptRead::Refused:
        refuse(Refusal::Source, QStringLiteral("Not compiled: ") + why);
        return false;
    }
    // Only what outlives the compile is synced: the second pass's list file
    // (and the temp hex file); the first pass's files are replaced by the
    // second's, and the work files by the next compile.
    if (!m_premerged.create(premerged, &why, SaveFile::Sync::WorkFile)) {
        reportFailure(passName + why);
        return false;
    }
    m_premergedCreated = true;
    if (!m_list.create(list, &why, passNumber == 2 ? SaveFile::Sync::Durable : SaveFile::Sync::WorkFile)) {
        m_premerged.close();
        reportFailure(passName + why);
        return false;
    }

    // The lines point into `text`, which outlives them. The echo holds
    // about as much as the source.
    m_echo.reserve(text.size() + text.size() / 8 + 64);
    const bool ok = forEachLine(text, [this](const QByteArray &line) { return processLine(line); });
    if (ok) {
        flushPage();
        writeReport();
    }
    // What was written before a failure stays; the files are closed either
    // way so the next step can replace them.
    QString writeWhy;
    const bool premergedOk = m_premerged.close(&writeWhy);
    const bool listOk = m_list.close(&writeWhy);
    // A premerged file that did not reach the disk is not this program's:
    // the one in its place is older and must not be merged.
    if (!premergedOk)
        m_premergedCreated = false;
    if (ok && !(premergedOk && listOk)) {
        reportFailure(passName + writeWhy);
        return false;
    }
    m_lastPassCompleted = ok;
    return ok;
}

bool Compiler::processLine(const QByteArray &rawLine)
{
    ++m_sourceLine;
    m_rawLine = rawLine;
    const qsizetype at = m_echo.size();
    m_echo.resize(at + rawLine.size() + 2);
    char *echo = m_echo.data() + at;
    std::memcpy(echo, rawLine.constData(), size_t(rawLine.size()));
    echo[rawLine.size()] = '\r';
    echo[rawLine.size() + 1] = '\n';
    const Outcome::Kind kind = translate();
    switch (kind) {
    case Outcome::Blank:
        ++m_counters.blanklines;
        return true;
    case Outcome::Ignored:
    case Outcome::LabelDefined:
        return true;
    case Outcome::Stored:
    case Outcome::Placeholder:
        return place(kind);
    case Outcome::AddressChange:
        m_lineText = m_tr.digits.toByteArray();
        m_lineValue = m_tr.address;
        m_lineTextPlain = m_lineText.size() == 1 || m_lineText.at(0) != '0';
        if (!m_pageUntouched) {
            flushPage();
            resetPageBuffer();
        }
        m_pageNumber = m_lineValue / 16;
        m_slotIndex = int(m_lineValue % 16);
        return true;
    case Outcome::Failed:
        reportFailure(
            QStringLiteral("pass %1: source line %2: %3").arg(m_passNumber).arg(m_sourceLine).arg(m_tr.failure));
        return false;
    }
    return true;
}

bool Compiler::place(Outcome::Kind kind)
{
    const bool stored = kind == Outcome::Stored;
    if (stored)
        std::memcpy(m_pageBuffer.data() + 32 * m_slotIndex, m_tr.element, 32);
    m_sourceLines.record(m_lineValue, m_sourceLine, !stored || (m_tr.element[0] == 'F' && m_tr.element[1] == 'F'));
    ++m_counters.goodlines;
    m_list.lineParts({m_lineText, " ", QByteArrayView(m_tr.listing.data(), qsizetype(m_tr.listing.size()))});
    if (m_lineValue >= kMaxNumber) {
        reportFailure(QStringLiteral("pass %1: source line %2: the line number passes %3")
                          .arg(m_passNumber)
                          .arg(m_sourceLine)
                          .arg(kMaxNumber));
        return false;
    }
    ++m_lineValue;
    if (m_lineTextPlain)
        incrementDecimal(m_lineText);
    else
        setDecimal(m_lineText, m_lineValue);
    m_lineTextPlain = true;
    m_pageUntouched = false;
    if (m_slotIndex > 14) {
        flushPage();
        resetPageBuffer();
    }
    m_pageNumber = m_lineValue / 16;
    m_slotIndex = int(m_lineValue % 16);
    return true;
}

void Compiler::resetPageBuffer()
{
    m_pageBuffer.fill('F', kPageDigits);
}

void Compiler::flushPage()
{
    // The page field keeps the last five digits of the page number.
    char field[5];
    qint64 page = m_pageNumber;
    for (int i = 4; i >= 0; --i) {
        field[i] = char('0' + page % 10);
        page /= 10;
    }
    m_premerged.lineParts({QByteArrayView(field, 5), m_pageBuffer});
    m_pageNumber = m_lineValue / 16;
    m_slotIndex = int(m_lineValue % 16);
}

void Compiler::reportLineIgnored()
{
    m_list.line("********** ERROR - LINE IGNORED **********");
    m_list.lineParts({">>>>>> ", m_rawLine});
}

QList<QByteArray> Compiler::reportLines() const
{
    auto n = [](int v) { return ' ' + QByteArray::number(v); };
    const Counters &c = m_counters;
    return {
        "***************** REPORT ****************",
        "Number of good lines " + n(c.goodlines),
        "Number of blank lines " + n(c.blanklines),
        "Number of Errors & Warnings " + n(c.errorbumper),
        "Number of Calls " + n(c.callcount) + "  Number of returns " + n(c.returncount),
        "Number of Dos " + n(c.docount) + "  Number of loops " + n(c.loopcount),
    };
}

void Compiler::writeReport()
{
    for (const QByteArray &line : reportLines())
        m_list.line(line);
}

} // namespace pvelm::compiler
