#include "editors/exchanges.h"

#include "link/link.h"

namespace pvelm::editors {

MoveOutcome getThenMove(Link &link, qint64 getLine, qint64 moveLine, bool moveAnyway)
{
    MoveOutcome out;
    out.get = exchange(link, &Link::rawsender, lineRequest("R18", getLine));
    if (out.get.succeeded())
        out.set = storedFromReply(out.get.reply);
    // A Get refused because another exchange runs leaves the link to it.
    if (!out.get.ran || (!out.set && !moveAnyway))
        return out;
    out.move = exchange(link, &Link::smallcomax, movePacket(moveLine));
    return out;
}

NudgeLoop::NudgeLoop(Link &link) : m_link(link) {}

bool NudgeLoop::run(NudgeFamily family, int servoIndex, const std::function<void(const QString &)> &before,
                    const std::function<void(const Step &)> &after, int maxSteps)
{
    LinkHold hold(m_link);
    if (!hold.acquired())
        return false;
    bool &released = m_released[size_t(family)];
    released = false;
    m_running = true;
    const QString packet = nudgePacket(family, servoIndex);
    for (int sent = 0;;) {
        if (before)
            before(packet);
        Step step;
        step.packet = packet;
        step.result = exchange(hold, m_link, &Link::smallcomax, packet);
        if (step.result.succeeded())
            step.reply = nudgeFromReply(step.result.reply);
        ++sent;
        if (after)
            after(step);
        // The release reached us while the exchange pumped events; a link
        // that was stopped (the console closing) ends the loop too.
        if (released || !step.result.ran || step.result.portFailed() || m_link.isStopped() ||
            (maxSteps > 0 && sent >= maxSteps))
            break;
    }
    released = true;
    m_running = false;
    return true;
}

void NudgeLoop::release(NudgeFamily family)
{
    m_released[size_t(family)] = true;
}

void NudgeLoop::releaseAll()
{
    m_released.fill(true);
}

} // namespace pvelm::editors
