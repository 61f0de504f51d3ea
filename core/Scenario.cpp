#include "core/Scenario.h"

#include "core/InstanceManagement.h"

#include <cstring>

namespace scenario {

namespace {

struct Token {
    std::string text;
    int column = 0;
    bool quoted = false;
};

struct Line {
    std::vector<Token> tokens;
    std::string text; // before the comment, without outer blanks
};

// Characters, not bytes: a caption or text may hold UTF-8.
int ColumnAt(std::string_view line, size_t offset) {
    int column = 1;
    for (size_t i = 0; i < offset && i < line.size(); ++i)
        column += (static_cast<unsigned char>(line[i]) & 0xC0) != 0x80;
    return column;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// Splits a line into words and quoted texts; a # outside quotes begins a
// comment. In quotes, \" and \\ stand for " and \.
std::optional<ParseError> Tokenize(std::string_view line, int number, Line& out) {
    size_t i = 0;
    size_t end = line.size();
    while (i < line.size()) {
        if (IsBlank(line[i])) {
            ++i;
            continue;
        }
        if (line[i] == '#') {
            end = i;
            break;
        }
        Token token;
        token.column = ColumnAt(line, i);
        if (line[i] == '"') {
            token.quoted = true;
            const size_t open = i++;
            for (;; ++i) {
                if (i >= line.size())
                    return ParseError{number, ColumnAt(line, open), Problem::Quote, {}};
                if (line[i] == '"')
                    break;
                if (line[i] == '\\' && i + 1 < line.size() &&
                    (line[i + 1] == '"' || line[i + 1] == '\\'))
                    ++i;
                token.text += line[i];
            }
            ++i;
        } else {
            while (i < line.size() && !IsBlank(line[i]) && line[i] != '#')
                token.text += line[i++];
        }
        out.tokens.push_back(std::move(token));
    }
    std::string_view text = line.substr(0, end);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    out.text = std::string(text);
    return std::nullopt;
}

// Digits only, within low..high.
std::optional<int64_t> WholeNumber(const std::string& text, int64_t low, int64_t high) {
    if (text.empty() || text.size() > 12)
        return std::nullopt;
    int64_t n = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        n = n * 10 + (c - '0');
    }
    if (n < low || n > high)
        return std::nullopt;
    return n;
}

// Seconds with at most three decimals, as whole milliseconds: the schedule
// adds them up exactly, however many there are.
std::optional<int64_t> Milliseconds(const std::string& text) {
    const size_t dot = text.find('.');
    const std::string whole = text.substr(0, dot);
    std::string fraction = dot == std::string::npos ? std::string() : text.substr(dot + 1);
    if (fraction.size() > 3 || (dot != std::string::npos && fraction.empty()))
        return std::nullopt;
    const std::optional<int64_t> seconds = WholeNumber(whole, 0, kMaxStepMs / 1000);
    const std::optional<int64_t> part =
        fraction.empty() ? 0 : WholeNumber(fraction.append(3 - fraction.size(), '0'), 0, 999);
    if (!seconds || !part || *seconds * 1000 + *part > kMaxStepMs)
        return std::nullopt;
    return *seconds * 1000 + *part;
}

template <typename Name, size_t N>
std::optional<Name> Lookup(const std::string& word, const std::array<const char*, N>& words) {
    for (size_t i = 0; i < N; ++i)
        if (word == words[i])
            return static_cast<Name>(i);
    return std::nullopt;
}

constexpr std::array<const char*, 3> kModeWords{"dynamic", "quiet", "warnings"};
constexpr std::array<const char*, 3> kKeyWords{"menu", "down", "up"};

class CParser {
public:
    Plan plan;

    void ParseLine(std::string_view text, int number) {
        Line line;
        if (std::optional<ParseError> error = Tokenize(text, number, line)) {
            plan.errors.push_back(*error);
            return;
        }
        if (line.tokens.empty())
            return;
        m_line = &line;
        m_number = number;
        Step step;
        step.line = number;
        step.text = line.text;
        const Token& first = line.tokens[0];
        const std::string& word = first.quoted ? std::string() : first.text;
        const size_t arguments = line.tokens.size() - 1;
        bool ok = false;
        if (word == "level") {
            step.kind = StepKind::Level;
            ok = Expect(arguments == 1) && LevelAt(1, step.level);
        } else if (word == "ramp") {
            step.kind = StepKind::Ramp;
            ok = Expect(arguments == 4 && Word(3) == "in") && LevelAt(1, step.from) &&
                 LevelAt(2, step.level) && SecondsAt(4, step.ms);
        } else if (word == "wait") {
            ok = Expect(arguments == 1) && SecondsAt(1, step.ms);
        } else if (word == "mode")
            ok = Expect(arguments == 2) && ModeAt(step);
        else if (word == "key")
            ok = Expect(arguments == 1) && KeyAt(step);
        else if (word == "instances")
            ok = Expect(arguments >= 1) && InstancesAt(step);
        else if (word == "expect")
            ok = Expect(arguments == 2) && ExpectAt(step);
        else if (word == "repeat")
            OpenRepeat(arguments);
        else if (word == "end")
            CloseRepeat(arguments);
        else
            Fail(0, Problem::UnknownStep);
        if (ok)
            plan.steps.push_back(std::move(step));
    }

    void Finish() {
        for (const Repeat& r : m_repeats)
            plan.errors.push_back({r.line, r.column, Problem::RepeatWithoutEnd, "repeat"});
        if (plan.errors.empty() && plan.steps.empty())
            plan.errors.push_back({1, 1, Problem::NoSteps, {}});
        if (!plan.errors.empty())
            plan.steps.clear();
    }

private:
    struct Repeat {
        size_t first; // the first step of its body
        int64_t count;
        int line;
        int column;
    };

    const std::string& Word(size_t i) const { return m_line->tokens[i].text; }

    bool Fail(size_t token, Problem problem) {
        const Token& t = m_line->tokens[token];
        plan.errors.push_back({m_number, t.column, problem, t.text});
        return false;
    }

    // The step's arguments are as many as it takes; else the error names the step.
    bool Expect(bool shapeRight) { return shapeRight || Fail(0, Problem::Arguments); }

    bool LevelAt(size_t i, int& level) {
        const std::optional<int64_t> n = WholeNumber(Word(i), 0, 100);
        if (!n)
            return Fail(i, Problem::Level);
        level = static_cast<int>(*n);
        return true;
    }

    bool SecondsAt(size_t i, int64_t& ms) {
        const std::optional<int64_t> n = Milliseconds(Word(i));
        if (!n)
            return Fail(i, Problem::Seconds);
        ms = *n;
        return true;
    }

    bool ModeAt(Step& step) {
        const std::optional<ModeName> mode = Lookup<ModeName>(Word(1), kModeWords);
        if (!mode)
            return Fail(1, Problem::ModeWord);
        if (Word(2) != "on" && Word(2) != "off")
            return Fail(2, Problem::OnOff);
        step.kind = StepKind::Mode;
        step.mode = *mode;
        step.on = Word(2) == "on";
        return true;
    }

    bool KeyAt(Step& step) {
        const std::optional<KeyName> key = Lookup<KeyName>(Word(1), kKeyWords);
        if (!key)
            return Fail(1, Problem::KeyWord);
        step.kind = StepKind::Key;
        step.key = *key;
        return true;
    }

    bool InstancesAt(Step& step) {
        for (size_t i = 1; i < m_line->tokens.size(); ++i) {
            const std::string& argument = Word(i);
            const size_t equals = argument.find('=');
            if (equals == std::string::npos)
                return Fail(i, Problem::InstanceName);
            const std::string name = argument.substr(0, equals);
            const std::string value = argument.substr(equals + 1);
            size_t field = 0;
            while (field < device::kInstanceFields.size() &&
                   name != device::kInstanceFields[field].name)
                ++field;
            if (field == device::kInstanceFields.size())
                return Fail(i, Problem::InstanceName);
            const uint8_t instance = device::InstanceFromText(value);
            if (instance == 255 && value != "255")
                return Fail(i, Problem::InstanceValue);
            step.instances[field] = instance;
        }
        step.kind = StepKind::Instances;
        return true;
    }

    bool ExpectAt(Step& step) {
        const Token& what = m_line->tokens[1];
        if (!what.quoted && what.text == "level") {
            step.kind = StepKind::ExpectLevel;
            return LevelAt(2, step.level);
        }
        for (const panel::PanelEntry& e : panel::kPanelEntries)
            if (what.text == e.caption)
                step.entry = &e;
        if (step.entry == nullptr)
            return Fail(1, Problem::Caption);
        step.kind = StepKind::ExpectText;
        step.expected = Word(2);
        return true;
    }

    // A repeat with a wrong count still opens its block, so that its end
    // is not told as a second error.
    void OpenRepeat(size_t arguments) {
        std::optional<int64_t> count;
        if (Expect(arguments == 1)) {
            count = WholeNumber(Word(1), 1, int64_t(kMaxSteps));
            if (!count)
                Fail(1, Problem::Count);
        }
        m_repeats.push_back(
            {plan.steps.size(), count.value_or(1), m_number, m_line->tokens[0].column});
    }

    void CloseRepeat(size_t arguments) {
        if (!Expect(arguments == 0))
            return;
        if (m_repeats.empty()) {
            Fail(0, Problem::EndWithoutRepeat);
            return;
        }
        const Repeat r = m_repeats.back();
        m_repeats.pop_back();
        const size_t body = plan.steps.size() - r.first;
        if (body * size_t(r.count) + r.first > kMaxSteps) {
            plan.errors.push_back({r.line, r.column, Problem::TooManySteps, "repeat"});
            plan.steps.resize(r.first);
            return;
        }
        plan.steps.reserve(r.first + body * size_t(r.count));
        for (int64_t copy = 1; copy < r.count; ++copy)
            for (size_t i = 0; i < body; ++i)
                plan.steps.push_back(plan.steps[r.first + i]);
    }

    const Line* m_line = nullptr;
    int m_number = 0;
    std::vector<Repeat> m_repeats;
};

} // namespace

Plan Parse(std::string_view text) {
    CParser parser;
    int number = 1;
    for (size_t start = 0; start <= text.size(); ++number) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        parser.ParseLine(text.substr(start, end - start), number);
        start = end + 1;
    }
    parser.Finish();
    return std::move(parser.plan);
}

std::string CRecorder::Report(int64_t ms, const State& state) {
    if (m_last && *m_last == state)
        return {};
    std::string lines;
    if (m_last && ms > m_lastMs)
        lines += "wait " + SecondsText(ms - m_lastMs) + '\n';
    for (size_t i = 0; i < state.modes.size(); ++i)
        if (!m_last || m_last->modes[i] != state.modes[i])
            lines += std::string("mode ") + kModeWords[i] + (state.modes[i] ? " on\n" : " off\n");
    if (!m_last || m_last->level != state.level)
        lines += "level " + std::to_string(state.level) + '\n';
    m_last = state;
    m_lastMs = ms;
    return lines;
}

std::string CRecorder::End(int64_t ms) const {
    return m_last && ms > m_lastMs ? "wait " + SecondsText(ms - m_lastMs) + '\n' : std::string();
}

std::string SecondsText(int64_t ms) {
    std::string text = std::to_string(ms / 1000);
    if (const int64_t part = ms % 1000; part != 0) {
        std::string digits = std::to_string(1000 + part).substr(1);
        while (digits.back() == '0')
            digits.pop_back();
        text += '.' + digits;
    }
    return text;
}

const char* ModeWord(ModeName mode) {
    return kModeWords[static_cast<size_t>(mode)];
}

const char* KeyWord(KeyName key) {
    return kKeyWords[static_cast<size_t>(key)];
}

} // namespace scenario
