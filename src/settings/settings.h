#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

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

// The fatal texts shown when the settings file cannot be made or read, and
// when the setup window cannot write it.
inline constexpr char kSettingsFatalMessage[] = "Canot open config file or invalid directory. Re-setup";
inline constexpr char kSettingsWriteFatalMessage[] = "Canot write parameter file. Re-setup";

struct SettingsLoad
{
    bool ok = false;
    // Set when the file's first line was not exactly 512 characters and the
    // record was completed or cut to fit; the console shows it once.
    QString notice;
    // Why the default file could not be made: the system's reason.
    QString error;
};

// Creates the working folder and the default settings file when missing,
// then replaces `record` with the file's first line. Never rewrites an
// existing file. Removes the temporary files a killed save left beside the
// settings file and the compiler's work files.
SettingsLoad loadSettings(SettingsRecord &record);

// Replaces `record` with the first line of the existing settings file
// (completed or cut to 512 characters as loadSettings does). Fails, leaving
// `record` alone, when the file is missing or cannot be read.
SettingsLoad readSettingsFile(SettingsRecord &record);

// Writes the record to the existing settings file, through a temporary file
// in the same folder renamed over it, so a crash never leaves half a file.
// Fails (with the reason) when the file is missing or cannot be replaced.
bool writeSettingsFile(const SettingsRecord &record, QString *why = nullptr);

// The fields of the system setup window, as it shows them: each one the
// record's columns unchanged (paths with their leading blanks).
struct SetupFields
{
    QString comport, combaud, comparity, combits, comstopbits, comother;
    QString gfilebox, flashfileloc, listfileloc, flashmemfileloc;

    // Field names in window order, and access by name (velm setup).
    static const QStringList &names();
    QString *byName(const QString &name);
};

SetupFields showSettings(const SettingsRecord &record);
// Fits every field into the record as "Save Parameters" does: each serial
// field is its fill text followed by the box's text, rightmost characters
// of its width kept ("038400" for the baud rate); each path is right-aligned
// in 32 characters. Columns outside these fields are never touched.
void storeSettings(SettingsRecord &record, const SetupFields &fields);

} // namespace pvelm
