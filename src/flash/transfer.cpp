#include "flash/transfer.h"

#include "flash/flashpages.h"
#include "link/link.h"

#include <QFileInfo>
#include <QSaveFile>

namespace pvelm::flash {

namespace {

// Why a page exchange failed, in the link's own words where it has them.
QString linkFailure(const Link &link)
{
    if (link.linkErrorCode.isEmpty() || link.linkErrorCode == QLatin1String("0"))
        return QStringLiteral("no reply in time");
    return link.linkErrorText.isEmpty() ? Link::describe(link.linkErrorCode) : link.linkErrorText;
}

struct Clock
{
    QElapsedTimer timer;
    Clock() { timer.start(); }
    Progress at(int done, int total) const { return Progress{done, total, timer.elapsed()}; }
};

} // namespace

qint64 Progress::remainingMs() const
{
    if (done <= 0 || total <= 0)
        return -1;
    return elapsedMs * (total - done) / done;
}

QString formatRemaining(qint64 ms)
{
    if (ms < 0)
        return QString();
    const qint64 seconds = (ms + 999) / 1000;
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

TransferResult writePageFile(Link &link, const QString &hostPath, const TransferHooks &hooks)
{
    QStringList lines;
    QString why;
    if (!readPageLines(hostPath, &lines, &why)) {
        TransferResult r;
        r.outcome = Outcome::FileError;
        r.detail = why;
        return r;
    }
    return writePageLines(link, lines, hooks);
}

TransferResult writePageLines(Link &link, const QStringList &lines, const TransferHooks &hooks)
{
    TransferResult r;
    r.total = int(lines.size());
    LinkHold hold(link);
    if (!hold.acquired()) {
        r.outcome = Outcome::Refused;
        r.detail = QString::fromLatin1(kExchangeRefusedMessage);
        return r;
    }
    const Clock clock;
    link.linkTimedOut = false;
    for (const QString &line : lines) {
        r.stopPage = line.left(5);
        if (hooks.pageStarting)
            hooks.pageStarting(line);
        link.linkBlock = line;
        link.linkPacket.clear();
        hold(&Link::sendLineAndWait);
        if (link.linkTimedOut) {
            r.outcome = Outcome::Failed;
            r.code = link.linkErrorCode;
            r.detail = QStringLiteral("Stopped at page %1 (%2 of %3 pages written): %4")
                           .arg(r.stopPage)
                           .arg(r.done)
                           .arg(r.total)
                           .arg(linkFailure(link));
            return r;
        }
        ++r.done;
        if (hooks.progress)
            hooks.progress(clock.at(r.done, r.total));
        if (r.done < r.total && hooks.cancelled && hooks.cancelled()) {
            r.outcome = Outcome::Cancelled;
            r.detail = QStringLiteral("Cancelled after page %1 (%2 of %3 pages written)")
                           .arg(r.stopPage)
                           .arg(r.done)
                           .arg(r.total);
            return r;
        }
    }
    // Only the reply to the last line is judged.
    if (!link.linkPacket.startsWith(QLatin1String("OV0OK"))) {
        link.linkTimedOut = true;
        r.outcome = Outcome::Failed;
        r.code = link.linkErrorCode;
        const QString reply = link.linkPacket.isEmpty() ? QStringLiteral("no reply") : link.linkPacket;
        r.detail =
            lines.isEmpty()
                ? QStringLiteral("The file holds no page lines; the last reply was not \"OV0OK\" (%1)").arg(reply)
                : QStringLiteral("The board did not confirm page %1 with \"OV0OK\": %2").arg(r.stopPage, reply);
        return r;
    }
    r.detail = QStringLiteral("%1 of %1 pages written").arg(r.done);
    return r;
}

TransferResult saveFlashRange(Link &link, int start, int end, const QString &hostPath, const TransferHooks &hooks)
{
    TransferResult r;
    r.total = end - start + 1;
    LinkHold hold(link);
    if (!hold.acquired()) {
        r.outcome = Outcome::Refused;
        r.detail = QString::fromLatin1(kExchangeRefusedMessage);
        return r;
    }
    QSaveFile file(hostPath);
    if (!file.open(QIODevice::WriteOnly)) {
        r.outcome = Outcome::FileError;
        r.detail = QStringLiteral("%1: %2").arg(hostPath, file.errorString());
        return r;
    }
    // What the file holds once it is in place, for the operator.
    const auto holds = [&r, start, &hostPath] {
        if (r.done == 0)
            return QStringLiteral("%1 was not written").arg(hostPath);
        r.firstSaved = start;
        r.lastSaved = start + r.done - 1;
        return QStringLiteral("%1 holds pages %2 to %3").arg(hostPath).arg(r.firstSaved).arg(r.lastSaved);
    };
    // Keeps the pages read so far; an existing file stays as it was when
    // there are none.
    const auto finish = [&] {
        if (r.done == 0) {
            file.cancelWriting();
            return true;
        }
        if (!file.commit()) {
            r.outcome = Outcome::FileError;
            r.detail = QStringLiteral("%1: %2").arg(hostPath, file.errorString());
            r.done = 0;
            return false;
        }
        return true;
    };

    const Clock clock;
    for (int page = start; page <= end; ++page) {
        r.stopPage = pageField(QString::number(page));
        if (hooks.pageStarting)
            hooks.pageStarting(r.stopPage);
        link.linkPacket = pageReadPacket(QString::number(page));
        hold(&Link::binreceiver);
        if (link.linkErrorCode != QLatin1String("0")) {
            r.outcome = Outcome::Failed;
            r.code = link.linkErrorCode;
            const QString why = linkFailure(link);
            if (finish())
                r.detail = QStringLiteral("Page %1 did not read (%2); %3").arg(page).arg(why, holds());
            return r;
        }
        if (hooks.pageRead)
            hooks.pageRead(link.linkBlock);
        file.write((pageLine(page, link.linkBlock) + QLatin1String("\r\n")).toLatin1());
        ++r.done;
        if (hooks.progress)
            hooks.progress(clock.at(r.done, r.total));
        if (page < end && hooks.cancelled && hooks.cancelled()) {
            r.outcome = Outcome::Cancelled;
            if (finish())
                r.detail = QStringLiteral("Cancelled after page %1; %2").arg(page).arg(holds());
            return r;
        }
    }
    if (finish())
        r.detail = holds();
    return r;
}

} // namespace pvelm::flash
