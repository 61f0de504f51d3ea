// Any bytes as a scenario file: the parser either gives steps that the
// schedule runs in order of time, or errors that point into the text.
#include "core/ScenarioSchedule.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

void Check(bool ok) {
    if (!ok)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const scenario::Plan plan = scenario::Parse(text);
    int lines = 1;
    for (char c : text)
        lines += c == '\n';
    Check(plan.Ok() != plan.steps.empty());
    Check(plan.steps.size() <= scenario::kMaxSteps);
    for (const scenario::ParseError& e : plan.errors)
        Check(e.line >= 1 && e.line <= lines && e.column >= 1);
    for (const scenario::Step& s : plan.steps) {
        Check(s.line >= 1 && s.line <= lines && !s.text.empty());
        Check(s.level >= 0 && s.level <= 100 && s.from >= 0 && s.from <= 100);
        Check(s.ms >= 0 && s.ms <= scenario::kMaxStepMs);
        Check((s.kind == scenario::StepKind::ExpectText) == (s.entry != nullptr));
    }
    // A bounded look at the schedule: due times never go back.
    if (plan.Ok()) {
        scenario::CSchedule schedule(plan, false);
        int64_t due = 0;
        for (int i = 0; i < 10000 && !schedule.Finished(); ++i) {
            Check(schedule.Current().dueMs >= due && schedule.Current().dueMs <= schedule.PassMs());
            due = schedule.Current().dueMs;
            schedule.Advance();
        }
    }
    return 0;
}
