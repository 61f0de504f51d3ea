#include "core/N2kMessages.h"

#include "core/PanelFields.h"
#include "core/ParameterModel.h"
#include "core/Reports.h"

#include <algorithm>

namespace n2k {

namespace {

constexpr uint8_t kSidLimit = 253; // a SID runs 0..252

int64_t FieldValue(const Field& f, const DeviceState& state, const panel::RawValues& raw,
                   uint8_t sid) {
    switch (f.origin) {
    case Origin::Panel:
        if (const panel::PanelEntry* entry = panel::FindPanelEntry(f.arg))
            return entry->source.raw(raw);
        return NotAvailable(f);
    case Origin::Instance:
        return f.arg >= 0 && static_cast<size_t>(f.arg) < state.instances.size()
                   ? state.instances[static_cast<size_t>(f.arg)]
                   : NotAvailable(f);
    case Origin::Sid:
        return sid;
    case Origin::Constant:
        return f.arg;
    case Origin::NotAvailable:
    case Origin::Reserved:
    case Origin::Given:
        break;
    }
    return NotAvailable(f);
}

} // namespace

panel::RawValues RawValuesOf(const DeviceState& state) {
    return panel::ComputeRawValues(state.level, (state.modeFlags & proto::kModeWarnings) != 0);
}

Message BuildMessage(const Group& group, const DeviceState& state, const panel::RawValues& raw,
                     uint8_t sid) {
    Message m;
    m.pgn = group.pgn;
    m.priority = group.priority;
    m.source = group.node == Node::Engine ? state.engineAddress : state.transmissionAddress;
    m.destination = kGlobal;
    m.length = group.length;
    m.data.fill(0xFF);
    for (const Field& f : group.fields)
        PutField(m.data.data(), f, FieldValue(f, state, raw, sid));
    return m;
}

std::vector<Message> CMessageCycle::Due(uint64_t nowMs, const DeviceState& state) {
    std::vector<Message> due;
    const panel::RawValues raw = RawValuesOf(state);
    for (size_t i = 0; i < kGroups.size(); ++i) {
        if (m_started && nowMs < m_nextDue[i])
            continue;
        due.push_back(BuildMessage(kGroups[i], state, raw, m_sids[i]));
        m_sids[i] = static_cast<uint8_t>((m_sids[i] + 1) % kSidLimit);
        // Keep the cadence; after a pause, start it again from now.
        const uint64_t interval = kGroups[i].intervalMs;
        m_nextDue[i] = m_started && nowMs < m_nextDue[i] + interval ? m_nextDue[i] + interval
                                                                    : nowMs + interval;
    }
    m_started = true;
    return due;
}

std::optional<int64_t> Decoded::PanelValue(int controlId) const {
    if (!group)
        return std::nullopt;
    for (size_t i = 0; i < group->fields.size(); ++i)
        if (group->fields[i].origin == Origin::Panel && group->fields[i].arg == controlId)
            return values[i];
    return std::nullopt;
}

std::optional<int64_t> Decoded::Value(const char* field) const {
    if (!group)
        return std::nullopt;
    const Field* f = FindField(*group, field);
    return f ? std::optional<int64_t>(values[static_cast<size_t>(f - group->fields.data())])
             : std::nullopt;
}

std::optional<Decoded> Decode(const Message& m) {
    for (const Group& g : kGroups) {
        if (g.pgn != m.pgn || m.length < g.length || g.fields.size() > kMaxFields)
            continue;
        Decoded d;
        d.group = &g;
        bool ours = true;
        for (size_t i = 0; i < g.fields.size(); ++i) {
            d.values[i] = GetField(m.data.data(), g.fields[i]);
            if (g.fields[i].origin == Origin::Constant && d.values[i] != g.fields[i].arg)
                ours = false;
        }
        if (ours)
            return d;
    }
    return std::nullopt;
}

} // namespace n2k
