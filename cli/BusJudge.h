#pragma once
// bus's verdicts, apart from the CAN adapter and the serial session: what
// the device broadcast on its serial side and what came on the bus, each
// with its time, give per group and source a row of what was right.
#include "core/N2kMessages.h"

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <vector>

namespace cli {

struct BusMismatch {
    const char* field;
    int64_t expected;
    int64_t seen;
};

struct BusRow {
    const n2k::Group* group = nullptr;
    uint8_t source = 0;
    long seen = 0;
    long ok = 0;
    long mismatches = 0;
    std::optional<BusMismatch> first;
    long late = 0; // gaps longer than twice the group's interval
    bool missing = false;
    int64_t lastMs = 0;

    bool Good() const { return mismatches == 0 && late == 0 && !missing; }
};

class CBusJudge {
public:
    // Times are milliseconds since the first level broadcast, which is 0.
    void Level(int64_t ms, uint8_t level, bool warnings);
    // Instances are compared once the device has reported them.
    void SetInstances(const std::array<uint8_t, 8>& instances) { m_instances = instances; }
    // The addresses the device's engine and transmission nodes hold, as its
    // claim broadcast reports them: from then on only their messages are
    // judged; other nodes may send the same groups, with their own values.
    void SetAddresses(uint8_t engine, uint8_t transmission) {
        m_addresses = std::pair{engine, transmission};
    }
    bool KnowsAddresses() const { return m_addresses.has_value(); }
    void Seen(int64_t ms, uint8_t source, const n2k::Decoded& decoded);
    // Judges what is left, adds a row for each group the device sends that
    // did not come from the address its node holds (when known), and
    // returns the rows in the order of the device's groups.
    std::vector<BusRow> End(int64_t ms, std::optional<std::pair<uint8_t, uint8_t>> addresses);

private:
    struct StateAt {
        int64_t ms;
        uint8_t level;
        bool warnings;
    };
    struct Message {
        int64_t ms;
        uint8_t source;
        n2k::Decoded decoded;
    };

    BusRow& RowFor(const n2k::Group& group, uint8_t source);
    std::optional<BusMismatch> Compare(const n2k::Decoded& d, const StateAt& at) const;
    void JudgeUntil(int64_t ms);

    std::vector<StateAt> m_states;
    std::deque<Message> m_pending;
    std::map<std::pair<const n2k::Group*, uint8_t>, BusRow> m_rows;
    std::optional<std::array<uint8_t, 8>> m_instances;
    std::optional<std::pair<uint8_t, uint8_t>> m_addresses;
    // Until two level broadcasts have shown the device's period: a second,
    // the slowest rate the device broadcasts at in use.
    int64_t m_periodMs = 1000;
    int64_t m_lastLevelMs = -1;
    bool m_bPeriodKnown = false;
};

} // namespace cli
