#pragma once

#include <QByteArray>
#include <QString>

namespace pvelm {

// Board replies and file bytes quoted in a message: printable ASCII as it
// stands, every other byte as \xNN (upper-case hex), so no control byte
// reaches a terminal or a one-line message field. A character beyond
// Latin-1 is written as the \xNN of its UTF-8 bytes.
QString printable(const QString &text);
QString printable(const QByteArray &bytes);

} // namespace pvelm
