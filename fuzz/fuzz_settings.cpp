// One settings file, as anything may have left it, read as the console reads
// it at start; the record it yields must write and read back unchanged.

#include "fuzzsupport.h"
#include "settings/hostpaths.h"
#include "settings/settings.h"

#include <QDir>

using namespace pvelm;

namespace {

QString g_file;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzsupport::makeRoot();
    QDir().mkpath(hostpaths::workingFolder());
    g_file = hostpaths::settingsFile();
    // `make fuzz` seeds this target with the record the console writes at
    // its first start.
    const QByteArray seeds = qgetenv("PVELM_FUZZ_SETTINGS_SEEDS");
    if (!seeds.isEmpty()) {
        const QByteArray record = SettingsRecord::defaultRecord();
        const QString dir = QString::fromLocal8Bit(seeds);
        QDir().mkpath(dir);
        fuzzsupport::writeBytes(dir + QStringLiteral("/default.ovh"), record.constData(), size_t(record.size()));
        const QByteArray edited = record.left(300) + "\r\n" + record;
        fuzzsupport::writeBytes(dir + QStringLiteral("/short-line.ovh"), edited.constData(), size_t(edited.size()));
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray file(reinterpret_cast<const char *>(data), qsizetype(size));
    FUZZ_CHECK(fuzzsupport::writeBytes(g_file, file.constData(), size));

    SettingsRecord record;
    const SettingsLoad load = readSettingsFile(record);
    FUZZ_CHECK(load.ok);
    const QByteArray &bytes = record.bytes();
    FUZZ_CHECK(bytes.size() == SettingsRecord::kLength);
    FUZZ_CHECK(!bytes.contains('\r') && !bytes.contains('\n'));

    // The record is the file's first line, completed from the default
    // record or cut to 512 characters, with a notice exactly when it was.
    qsizetype lineEnd = 0;
    while (lineEnd < file.size() && file[lineEnd] != '\r' && file[lineEnd] != '\n')
        ++lineEnd;
    const QByteArray line = file.left(lineEnd);
    FUZZ_CHECK(load.notice.isEmpty() == (line.size() == SettingsRecord::kLength));
    if (line.size() >= SettingsRecord::kLength)
        FUZZ_CHECK(bytes == line.left(SettingsRecord::kLength));
    else
        FUZZ_CHECK(bytes == line + SettingsRecord::defaultRecord().mid(line.size()));

    // Showing the fields and storing them unedited changes nothing.
    SettingsRecord resaved = record;
    storeSettings(resaved, showSettings(record));
    FUZZ_CHECK(resaved.bytes() == bytes);

    // Written and read again: the same record, and nothing to notice.
    FUZZ_CHECK(writeSettingsFile(record));
    SettingsRecord again(QByteArray(SettingsRecord::kLength, ' '));
    const SettingsLoad reload = readSettingsFile(again);
    FUZZ_CHECK(reload.ok && reload.notice.isEmpty());
    FUZZ_CHECK(again.bytes() == bytes);
    return 0;
}
