#include "core/ScenarioSchedule.h"

#include <algorithm>
#include <cstdlib>

namespace scenario {

namespace {

int64_t StepMs(const Step& step) {
    return step.kind == StepKind::Wait || step.kind == StepKind::Ramp ? step.ms : 0;
}

int RampPoints(const Step& step) {
    return std::abs(step.level - step.from) + 1;
}

} // namespace

std::vector<int64_t> StepStarts(const Plan& plan) {
    std::vector<int64_t> starts;
    starts.reserve(plan.steps.size() + 1);
    int64_t at = 0;
    for (const Step& step : plan.steps) {
        starts.push_back(at);
        at += StepMs(step);
    }
    starts.push_back(at);
    return starts;
}

CSchedule::CSchedule(const Plan& plan, bool loop)
    : m_plan(plan), m_starts(StepStarts(plan)), m_bLoop(loop) {
    Load();
}

// The levels of a ramp are spread evenly over its time, each placed from
// the ramp's start, the last at its end.
void CSchedule::Load() {
    const size_t count = m_plan.steps.size();
    Action& a = m_action;
    a.first = m_nPoint == 0;
    if (a.step >= count) {
        a.dueMs = a.round * PassMs() + PassMs();
        return;
    }
    const Step& step = m_plan.steps[a.step];
    int64_t offset = 0;
    a.level = step.level;
    if (step.kind == StepKind::Ramp) {
        const int points = RampPoints(step);
        a.level = step.from + (step.level >= step.from ? m_nPoint : -m_nPoint);
        offset = points > 1 ? step.ms * m_nPoint / (points - 1) : 0;
    }
    a.dueMs = a.round * PassMs() + m_starts[a.step] + offset;
}

void CSchedule::Advance() {
    if (m_bFinished)
        return;
    const size_t count = m_plan.steps.size();
    if (m_action.step >= count) {
        m_bFinished = true;
        return;
    }
    const Step& step = m_plan.steps[m_action.step];
    if (step.kind == StepKind::Ramp && m_nPoint + 1 < RampPoints(step)) {
        ++m_nPoint;
    } else {
        m_nPoint = 0;
        if (++m_action.step == count && m_bLoop) {
            m_action.step = 0;
            ++m_action.round;
        }
    }
    Load();
}

void CSchedule::Start(int64_t nowMs) {
    m_originMs = nowMs;
    m_pausedAtMs = -1;
}

void CSchedule::Pause(int64_t nowMs) {
    if (!IsPaused())
        m_pausedAtMs = nowMs;
}

void CSchedule::Resume(int64_t nowMs) {
    if (!IsPaused())
        return;
    m_originMs += nowMs - m_pausedAtMs;
    m_pausedAtMs = -1;
}

int64_t CSchedule::ElapsedMs(int64_t nowMs) const {
    return (IsPaused() ? m_pausedAtMs : nowMs) - m_originMs;
}

int64_t CSchedule::WaitMs(int64_t nowMs) const {
    return std::max<int64_t>(0, m_action.dueMs - ElapsedMs(nowMs));
}

} // namespace scenario
