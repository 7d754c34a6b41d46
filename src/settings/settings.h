#pragma once

#include <QByteArray>
#include <QString>

namespace pvelm {

// The settings record: 512 single-byte characters in fixed columns, stored
// alone (no line end) in c:\Corvane\parameters.ovh. Columns are 1-based and
// inclusive everywhere, as the record's layout is documented.
class SettingsRecord
{
public:
    static constexpr int kLength = 512;

    // Column map.
    static constexpr int kHeaderColumn = 10, kHeaderWidth = 16;
    static constexpr int kPortColumn = 100;
    static constexpr int kBaudColumn = 101, kBaudWidth = 6;
    static constexpr int kParityColumn = 107;
    static constexpr int kDataBitsColumn = 108;
    static constexpr int kStopBitsColumn = 109;
    static constexpr int kOtherColumn = 110, kOtherWidth = 16;
    static constexpr int kPathWidth = 32;
    static constexpr int kTempHexPathColumn = 200;   // temporary flash data file
    static constexpr int kScriptPathColumn = 232;    // VelmScript input file
    static constexpr int kListPathColumn = 264;      // list file
    static constexpr int kFlashFilePathColumn = 296; // flash utility default file

    SettingsRecord();                        // the default record
    explicit SettingsRecord(QByteArray raw); // taken as it stands (see normalise)

    static QByteArray defaultRecord();

    // Field text at a column range. Never reads past the end of the record:
    // columns beyond it read as nothing.
    QString field(int column, int width) const;
    // A path field: its 32 columns with every space removed.
    QString path(int column) const;

    // Overwrite a column range in place; the record's length never changes.
    void setField(int column, int width, const QString &text);
    // Right-align text in a path field (32 spaces + text, rightmost 32 kept).
    void setPath(int column, const QString &text);

    const QByteArray &bytes() const { return m_record; }

    // "Fixed-width field" rule used all over the console: prefix `fill`
    // repeated `width` times, keep the rightmost `width` characters.
    static QString fitRight(const QString &text, int width, QChar fill);

private:
    QByteArray m_record;
};

// The fatal text shown when the settings file cannot be made or read.
inline constexpr char kSettingsFatalMessage[] = "Canot open config file or invalid directory. Re-setup";

struct SettingsLoad
{
    bool ok = false;
    // Set when the file's first line was not exactly 512 characters and the
    // record was completed or cut to fit; the console shows it once.
    QString notice;
};

// Creates the working folder and the default settings file when missing,
// then replaces `record` with the file's first line. Never rewrites an
// existing file.
SettingsLoad loadSettings(SettingsRecord &record);

} // namespace pvelm
