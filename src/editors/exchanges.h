#pragma once

#include "editors/codecs.h"
#include "link/exchange.h"

#include <array>
#include <functional>

#include <QString>

namespace pvelm {
class Link;
class LinkHold;
} // namespace pvelm

// The editors' own steps on top of the link's exchange (link/exchange.h),
// shared by the four windows and the `velm` editor commands: the position
// manager's get-then-move, and the nudge loop that repeats while a button is
// held.
namespace pvelm::editors {

// Position memory Get of `getLine`, then the move to the set at `moveLine`
// ("T"). With `moveAnyway` (the window) the move goes out whatever the Get
// brought; without it (`velm move`) only when the Get brought a set back, so
// what is printed is always a set the board really holds.
struct MoveOutcome
{
    LinkResult get;
    std::optional<QStringList> set; // the eight five-character positions read
    LinkResult move;                // ran is false when the move was not sent
};
MoveOutcome getThenMove(Link &link, qint64 getLine, qint64 moveLine, bool moveAnyway = false);

// The hold-to-repeat nudge. run() sends the nudge packet again and again,
// with no pause but the exchange itself, until its family is released; it
// holds the link from the first exchange to the last, so no other exchange
// cuts in. Each family has one release flag shared by its eight buttons:
// run() clears it, release() sets it, and the loop ends after the exchange
// in flight. A failed exchange does not end the loop, except on a port
// that failed or is closed: that fails at once without pumping events, so
// the loop would run flat out and never see the release.
class NudgeLoop
{
public:
    explicit NudgeLoop(Link &link);

    struct Step
    {
        QString packet;
        LinkResult result;
        std::optional<NudgeReply> reply; // set only for a usable reply to a successful exchange
    };
    // `before` sees each packet before it goes out, `after` each outcome.
    // maxSteps > 0 ends the loop after that many exchanges even when held.
    // Returns false, sending nothing, when the link could not be held.
    bool run(NudgeFamily family, int servoIndex, const std::function<void(const QString &packet)> &before,
             const std::function<void(const Step &)> &after, int maxSteps = 0);

    void release(NudgeFamily family);
    // Every family: the window closes or loses focus.
    void releaseAll();
    bool isRunning() const { return m_running; }

private:
    Link &m_link;
    std::array<bool, kNudgeFamilies> m_released{true, true, true, true};
    bool m_running = false;
};

} // namespace pvelm::editors
