#include "flash/transfer.h"

#include "flash/flashpages.h"
#include "link/link.h"
#include "settings/safesave.h"

#include <QFileInfo>

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

QString cancelledMessage(int page)
{
    // Five digits, as the page field and "Stopped at page" show it.
    return QStringLiteral("Cancelled after page %1: the board's flash now holds part of the new program")
        .arg(page, 5, 10, QLatin1Char('0'));
}

QString formatRemaining(qint64 ms)
{
    if (ms < 0)
        return QString();
    const qint64 seconds = (ms + 999) / 1000;
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

TransferResult writePageFile(Link &link, const QString &hostPath, const TransferHooks &hooks, LastReply last)
{
    QStringList lines;
    QString why;
    if (!readPageLines(hostPath, &lines, &why)) {
        TransferResult r;
        r.outcome = Outcome::FileError;
        r.detail = why;
        return r;
    }
    return writePageLines(link, lines, hooks, last);
}

TransferResult writePageLines(Link &link, const QStringList &lines, const TransferHooks &hooks, LastReply last)
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
            r.detail = cancelledMessage(r.stopPage.toInt()) +
                       QStringLiteral(" (%1 of %2 pages written)").arg(r.done).arg(r.total);
            return r;
        }
    }
    // Only the reply to the last line is judged.
    if (last == LastReply::MustBeOk && !link.linkPacket.startsWith(QLatin1String("OV0OK"))) {
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

QString partialPath(const QString &hostPath)
{
    return hostPath + QStringLiteral(".partial");
}

TransferResult saveFlashRange(Link &link, int start, int end, const QString &hostPath, const TransferHooks &hooks,
                              PartialSave partial)
{
    TransferResult r;
    r.total = end - start + 1;
    LinkHold hold(link);
    if (!hold.acquired()) {
        r.outcome = Outcome::Refused;
        r.detail = QString::fromLatin1(kExchangeRefusedMessage);
        return r;
    }
    SaveFile file(hostPath);
    if (!file.open()) {
        r.outcome = Outcome::FileError;
        r.detail = QStringLiteral("%1: %2").arg(hostPath, file.errorString());
        return r;
    }
    const bool beside = partial == PartialSave::BesideIt;
    // Where the pages read so far go, and what that leaves, for the operator.
    const auto finish = [&](bool complete) {
        const QString into = complete || !beside ? hostPath : partialPath(hostPath);
        if (r.done == 0) {
            file.cancel();
            return beside ? QStringLiteral("%1 kept as it was").arg(hostPath)
                          : QStringLiteral("%1 was not written").arg(hostPath);
        }
        if (!file.commit(into)) {
            r.outcome = Outcome::FileError;
            r.done = 0;
            if (into == hostPath)
                return QStringLiteral("%1 was not written (%2); it is as it was").arg(hostPath, file.errorString());
            return QStringLiteral("%1 was not written (%2); %3 kept as it was").arg(into, file.errorString(), hostPath);
        }
        r.firstSaved = start;
        r.lastSaved = start + r.done - 1;
        const QString pages = QStringLiteral("pages %1 to %2").arg(r.firstSaved).arg(r.lastSaved);
        if (into == hostPath)
            return QStringLiteral("%1 holds %2").arg(hostPath, pages);
        return QStringLiteral("%1 kept as it was; the %2 read are in %3").arg(hostPath, pages, into);
    };
    // A page line that did not reach the disk ends the save at once.
    const auto fileFailed = [&] {
        r.outcome = Outcome::FileError;
        r.done = 0;
        r.detail = QStringLiteral("%1 was not written (%2); it is as it was").arg(hostPath, file.errorString());
        return r;
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
            r.detail = QStringLiteral("Page %1 did not read (%2); ").arg(page).arg(why);
            r.detail += finish(false);
            return r;
        }
        if (hooks.pageRead)
            hooks.pageRead(link.linkBlock);
        if (!file.write((pageLine(page, link.linkBlock) + QLatin1String("\r\n")).toLatin1()))
            return fileFailed();
        ++r.done;
        if (hooks.progress)
            hooks.progress(clock.at(r.done, r.total));
        if (page < end && hooks.cancelled && hooks.cancelled()) {
            r.outcome = Outcome::Cancelled;
            r.detail = QStringLiteral("Cancelled after page %1; ").arg(page);
            r.detail += finish(false);
            return r;
        }
    }
    r.detail = finish(true);
    return r;
}

} // namespace pvelm::flash
