#include "cli/BusJudge.h"

#include "core/ParameterModel.h"
#include "core/Reports.h"

#include <algorithm>
#include <climits>

namespace cli {

void CBusJudge::Level(int64_t ms, uint8_t level, bool warnings) {
    if (m_lastLevelMs >= 0)
        m_periodMs = m_bPeriodKnown ? std::max(m_periodMs, ms - m_lastLevelMs) : ms - m_lastLevelMs;
    m_bPeriodKnown = m_lastLevelMs >= 0;
    m_lastLevelMs = ms;
    if (m_states.empty() || m_states.back().level != level || m_states.back().warnings != warnings)
        m_states.push_back({ms, level, warnings});
    JudgeUntil(ms - m_periodMs);
}

void CBusJudge::Seen(int64_t ms, uint8_t source, const n2k::Decoded& decoded) {
    if (m_addresses && source != (decoded.group->node == n2k::Node::Engine ? m_addresses->first
                                                                           : m_addresses->second))
        return;
    RowFor(*decoded.group, source);
    m_pending.push_back({ms, source, decoded});
}

BusRow& CBusJudge::RowFor(const n2k::Group& group, uint8_t source) {
    const auto key = std::pair{&group, source};
    auto it = m_rows.find(key);
    if (it == m_rows.end()) {
        BusRow row;
        row.group = &group;
        row.source = source;
        it = m_rows.emplace(key, row).first;
    }
    return it->second;
}

// The model's message for the state, compared field by field; the first
// field that differs, or nothing.
std::optional<BusMismatch> CBusJudge::Compare(const n2k::Decoded& d, const StateAt& at) const {
    n2k::DeviceState state;
    state.level = at.level;
    state.modeFlags = at.warnings ? proto::kModeWarnings : 0;
    if (m_instances)
        state.instances = *m_instances;
    const n2k::Message expected = n2k::BuildMessage(*d.group, state, n2k::RawValuesOf(state), 0);
    for (size_t i = 0; i < d.group->fields.size(); ++i) {
        const n2k::Field& f = d.group->fields[i];
        if (f.origin == n2k::Origin::Sid || f.origin == n2k::Origin::Given ||
            (f.origin == n2k::Origin::Instance && !m_instances))
            continue;
        const int64_t want = n2k::GetField(expected.data.data(), f);
        if (want != d.values[i])
            return BusMismatch{f.name, want, d.values[i]};
    }
    return std::nullopt;
}

// Each message is judged against the states in force from one broadcast
// period before it to one after: the bus may show a new level before the
// serial side reports it, or the old one after.
void CBusJudge::JudgeUntil(int64_t ms) {
    while (!m_pending.empty() && m_pending.front().ms <= ms) {
        const Message m = m_pending.front();
        m_pending.pop_front();
        BusRow& row = RowFor(*m.decoded.group, m.source);
        const int64_t interval = m.decoded.group->intervalMs;
        if (interval > 0 && row.seen > 0 && m.ms - row.lastMs > 2 * interval)
            ++row.late;
        row.lastMs = m.ms;
        ++row.seen;
        std::optional<BusMismatch> closest;
        bool matched = false;
        for (size_t i = 0; i < m_states.size() && !matched; ++i) {
            const int64_t from = m_states[i].ms;
            const int64_t to = i + 1 < m_states.size() ? m_states[i + 1].ms : INT64_MAX;
            if (to < m.ms - m_periodMs || from > m.ms + m_periodMs)
                continue;
            const auto mismatch = Compare(m.decoded, m_states[i]);
            matched = !mismatch;
            // Told against the state in force when it came.
            if (mismatch && (!closest || (from <= m.ms && m.ms < to)))
                closest = mismatch;
        }
        if (matched) {
            ++row.ok;
        } else {
            ++row.mismatches;
            if (!row.first)
                row.first = closest;
        }
    }
}

std::vector<BusRow> CBusJudge::End(int64_t ms,
                                   std::optional<std::pair<uint8_t, uint8_t>> addresses) {
    JudgeUntil(ms);
    if (addresses)
        for (const n2k::Group& g : n2k::kGroups)
            RowFor(g, g.node == n2k::Node::Engine ? addresses->first : addresses->second);
    for (const n2k::Group& g : n2k::kGroups)
        if (std::none_of(m_rows.begin(), m_rows.end(),
                         [&g](const auto& r) { return r.second.group == &g; }))
            RowFor(g, n2k::kNullAddress);
    std::vector<BusRow> rows;
    for (auto& [key, row] : m_rows) {
        const int64_t interval = row.group->intervalMs;
        row.missing = interval > 0 && (row.seen == 0 || ms - row.lastMs > 2 * interval);
        rows.push_back(row);
    }
    return rows;
}

} // namespace cli
