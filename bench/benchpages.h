#pragma once

// A download's worth of page lines: pages 0 to pages-1, each element row
// filled with one hex digit, so neighbouring pages differ on the wire.

#include "flash/flashpages.h"

#include <QStringList>

inline QStringList benchPages(int pages)
{
    QStringList lines;
    for (int p = 0; p < pages; ++p)
        lines << pvelm::flash::pageLine(p, QString(512, QLatin1Char("0123456789ABCDEF"[p % 16])) + QString(16, 'F'));
    return lines;
}
