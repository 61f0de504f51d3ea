#pragma once
// Scenario files: a test run written down, one step a line, so that the same
// run can be played against the device again and again. The parser reads a
// whole file before anything is sent: a file with any error sends nothing.
#include "core/PanelFields.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace scenario {

enum class StepKind { Level, Ramp, Wait, Mode, Key, Instances, ExpectText, ExpectLevel };
enum class ModeName { Dynamic, Quiet, Warnings };
enum class KeyName { Menu, Down, Up };

// The longest wait or ramp a step may ask for, as brendlowctl's options
// allow: eleven days.
inline constexpr int64_t kMaxStepMs = 1'000'000'000;
// Repeats are expanded; past this many steps a file is refused rather than
// made to fill the memory.
inline constexpr size_t kMaxSteps = 1'000'000;

struct Step {
    StepKind kind = StepKind::Wait;
    int line = 0;     // where it is written, from 1
    std::string text; // the line as written, without its comment and outer blanks
    int level = 0;    // level, expect level; ramp: where it ends
    int from = 0;     // ramp: where it starts
    int64_t ms = 0;   // wait, ramp: how long
    ModeName mode = ModeName::Dynamic;
    bool on = false;
    KeyName key = KeyName::Menu;
    // In the device's line order; none: as the device reports it. 255
    // leaves one unchanged.
    std::array<std::optional<uint8_t>, 8> instances{};
    const panel::PanelEntry* entry = nullptr; // expect CAPTION TEXT
    std::string expected;                     // expect CAPTION TEXT
};

// What is wrong at a place in the file; each front end words it.
enum class Problem {
    UnknownStep,      // word: the first word
    Arguments,        // word: the step; the count or shape of its arguments is wrong
    Level,            // word: not a whole number 0..100
    Seconds,          // word: not seconds 0..1000000 with at most three decimals
    Count,            // word: not a whole number 1..1000000
    ModeWord,         // word: not dynamic, quiet or warnings
    OnOff,            // word: not on or off
    KeyWord,          // word: not menu, down or up
    InstanceName,     // word: not NAME=VALUE with an instance's name
    InstanceValue,    // word: not 0..15 or 255
    Caption,          // word: no read-out or text box has this caption
    Quote,            // a quoted text is not closed
    EndWithoutRepeat, // end with no repeat open
    RepeatWithoutEnd, // a repeat (its line) has no end
    TooManySteps,     // the repeats make more than kMaxSteps steps
    NoSteps,          // the file has no step
};

struct ParseError {
    int line = 0;
    int column = 0; // from 1, in characters
    Problem problem = Problem::UnknownStep;
    std::string word;
};

struct Plan {
    std::vector<Step> steps; // repeats expanded, in the order they run
    std::vector<ParseError> errors;
    bool Ok() const { return errors.empty(); }
};

Plan Parse(std::string_view text);

// Writes a scenario from what the device reports, so that playing it
// reproduces the run: the state at the first report, then each change with
// the wait before it. Waits are whole milliseconds between the reports'
// times, so the steps' start times on playing are the times recorded.
class CRecorder {
public:
    struct State {
        int level = 0;
        std::array<bool, 3> modes{}; // by ModeName
        bool operator==(const State&) const = default;
    };

    // The lines for a report `ms` after the recording began; empty when
    // nothing changed.
    std::string Report(int64_t ms, const State& state);
    // The wait from the last change to the recording's end, or nothing.
    std::string End(int64_t ms) const;

private:
    std::optional<State> m_last;
    int64_t m_lastMs = 0;
};

// Seconds as a step writes them: "1.5", "0.025", "3".
std::string SecondsText(int64_t ms);

// A mode's, a key's word in a step.
const char* ModeWord(ModeName mode);
const char* KeyWord(KeyName key);

} // namespace scenario
