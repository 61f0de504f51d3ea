#pragma once
// When each step of a scenario runs. Every time is counted from the
// scenario's start (and the waits and ramps before it), never from when the
// step before it ended: an acknowledgement that comes late delays what
// follows at most until the next wait, so a long scenario does not drift.
#include "core/Scenario.h"

#include <cstdint>
#include <vector>

namespace scenario {

// One thing to do at its time: a step, or one level of a ramp, or the end.
struct Action {
    size_t step = 0;    // into the plan's steps; the steps' count for the end
    int level = 0;      // a level step's or ramp point's level
    bool first = false; // the first action of its step: the step starts here
    int64_t dueMs = 0;  // from the scenario's start
    int64_t round = 0;  // with loop, which pass: 0, 1, ...
};

// Where each step starts, from the scenario's start, and one more entry:
// how long one pass takes.
std::vector<int64_t> StepStarts(const Plan& plan);

class CSchedule {
public:
    // The plan has to outlive the schedule.
    CSchedule(const Plan& plan, bool loop);

    bool Finished() const { return m_bFinished; }
    const Action& Current() const { return m_action; }
    // The current action is done: on to the next one.
    void Advance();
    int64_t PassMs() const { return m_starts.back(); }
    int64_t StepStartMs(size_t step) const { return m_starts[step]; }

    // The scenario's clock, on the caller's clock in milliseconds. Paused
    // time does not count: what is left keeps its spacing.
    void Start(int64_t nowMs);
    void Pause(int64_t nowMs);
    void Resume(int64_t nowMs);
    bool IsPaused() const { return m_pausedAtMs >= 0; }
    int64_t ElapsedMs(int64_t nowMs) const;
    // How long until the current action is due; 0 when it is.
    int64_t WaitMs(int64_t nowMs) const;

private:
    void Load();

    const Plan& m_plan;
    std::vector<int64_t> m_starts;
    bool m_bLoop;
    Action m_action;
    int m_nPoint = 0; // a ramp's level, counted from its first
    bool m_bFinished = false;
    int64_t m_originMs = 0;
    int64_t m_pausedAtMs = -1;
};

} // namespace scenario
