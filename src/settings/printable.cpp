#include "settings/printable.h"

namespace pvelm {

namespace {

void appendEscaped(QString &out, uchar byte)
{
    static const char hex[] = "0123456789ABCDEF";
    out += QLatin1String("\\x");
    out += QLatin1Char(hex[byte >> 4]);
    out += QLatin1Char(hex[byte & 0xf]);
}

} // namespace

QString printable(const QByteArray &bytes)
{
    QString out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = uchar(c);
        if (byte < 0x20 || byte > 0x7e)
            appendEscaped(out, byte);
        else
            out += QLatin1Char(c);
    }
    return out;
}

QString printable(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x20 && u <= 0x7e)
            out += c;
        else if (u <= 0xff)
            appendEscaped(out, uchar(u));
        else
            out += printable(QString(c).toUtf8());
    }
    return out;
}

} // namespace pvelm
