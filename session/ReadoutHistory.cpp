#include "session/ReadoutHistory.h"

#include "session/PanelSnapshot.h"
#include "session/TrafficLog.h"

#include <algorithm>

namespace session {

namespace {

constexpr int kLevels = 101; // the model shows levels above 100 as 100
constexpr int kStates = 2 * kLevels;

std::array<const panel::PanelEntry*, panel::kReadoutCount> MakeReadoutEntries() {
    std::array<const panel::PanelEntry*, panel::kReadoutCount> entries{};
    size_t n = 0;
    for (const panel::PanelEntry& e : panel::kPanelEntries)
        if (e.kind == panel::PanelKind::Readout)
            entries.at(n++) = &e;
    return entries;
}

} // namespace

const panel::PanelEntry& ReadoutEntry(int readout) {
    static const auto kEntries = MakeReadoutEntries();
    return *kEntries.at(size_t(readout));
}

int ReadoutIndex(int controlId) {
    for (int i = 0; i < panel::kReadoutCount; ++i)
        if (ReadoutEntry(i).controlId == controlId)
            return i;
    return -1;
}

const ReadoutNumberRow& ReadoutNumbers(uint8_t level, bool warnings) {
    // Made once for each of the 202 states, when first asked for: a flood
    // brings hundreds of broadcasts a second, and formatting 44 numbers for
    // each would cost more than all the rest of the history.
    static std::array<ReadoutNumberRow, kStates> rows;
    static std::array<bool, kStates> made{};
    const uint8_t state = CReadoutHistory::State(level, warnings);
    ReadoutNumberRow& row = rows[state];
    if (!made[state]) {
        const panel::PanelSnapshot s =
            panel::SnapshotAt(CReadoutHistory::Level(state), CReadoutHistory::Warnings(state));
        for (size_t i = 0; i < row.size(); ++i)
            row[i] = panel::ReadoutNumber(s.readouts.at(i).value, s.readouts.at(i).entry->decimals)
                         .toDouble();
        made[state] = true;
    }
    return row;
}

QString CsvField(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QByteArray CsvHeader(const std::vector<int>& readouts) {
    QString header = QStringLiteral("time,level");
    for (int r : readouts) {
        const panel::PanelEntry& e = ReadoutEntry(r);
        const QString unit = panel::UnitName(e);
        const QString caption = QString::fromLatin1(e.caption);
        header += QLatin1Char(',') +
                  CsvField(unit.isEmpty() ? caption : QStringLiteral("%1 (%2)").arg(caption, unit));
    }
    return header.toUtf8() + '\n';
}

QByteArray CsvRow(double seconds, uint8_t level, bool warnings, const std::vector<int>& readouts) {
    const ReadoutNumberRow& numbers = ReadoutNumbers(level, warnings);
    QByteArray row = FormatSeconds(seconds).toLatin1() + ',' + QByteArray::number(level);
    for (int r : readouts)
        row +=
            ',' + panel::ReadoutNumber(numbers.at(size_t(r)), ReadoutEntry(r).decimals).toLatin1();
    return row + '\n';
}

std::vector<int> AllReadouts() {
    std::vector<int> all(panel::kReadoutCount);
    for (int i = 0; i < panel::kReadoutCount; ++i)
        all[size_t(i)] = i;
    return all;
}

uint8_t CReadoutHistory::State(uint8_t level, bool warnings) {
    return uint8_t(std::min<int>(level, kLevels - 1) * 2 + (warnings ? 1 : 0));
}

double CReadoutHistory::Number(uint8_t state, int readout) {
    return ReadoutNumbers(Level(state), Warnings(state))[size_t(readout)];
}

void CReadoutHistory::Record(int64_t ms, uint8_t level, bool warnings) {
    const uint8_t state = State(level, warnings);
    if (!m_buckets.empty())
        ms = std::max(ms, m_buckets.back().lastMs);
    const int64_t start = ms - ((ms % kBucketMs) + kBucketMs) % kBucketMs;
    if (m_buckets.empty() || m_buckets.back().startMs != start) {
        Bucket b;
        b.startMs = start;
        b.firstState = state;
        b.minState.fill(state);
        b.maxState.fill(state);
        m_buckets.push_back(b);
        // An hour back from the newest bucket, and never more buckets than
        // an hour holds.
        while (m_buckets.front().startMs <= start - kSpanMs || m_buckets.size() > kMaxBuckets)
            m_buckets.pop_front();
    }
    Bucket& b = m_buckets.back();
    b.lastMs = ms;
    b.lastLevel = level;
    b.lastState = state;
    ++b.count;
    if (b.count == 1)
        return;
    const ReadoutNumberRow& now = ReadoutNumbers(level, warnings);
    for (size_t i = 0; i < now.size(); ++i) {
        if (now[i] < Number(b.minState[i], int(i)))
            b.minState[i] = state;
        if (now[i] > Number(b.maxState[i], int(i)))
            b.maxState[i] = state;
    }
}

size_t CReadoutHistory::LowerBound(int64_t ms) const {
    const auto it = std::lower_bound(m_buckets.begin(), m_buckets.end(), ms,
                                     [](const Bucket& b, int64_t t) { return b.startMs < t; });
    return size_t(it - m_buckets.begin());
}

const CReadoutHistory::Bucket* CReadoutHistory::At(int64_t ms) const {
    const auto it = std::upper_bound(m_buckets.begin(), m_buckets.end(), ms,
                                     [](int64_t t, const Bucket& b) { return t < b.startMs; });
    return it == m_buckets.begin() ? nullptr : &*(it - 1);
}

QByteArray CReadoutHistory::Csv(int64_t fromMs, int64_t toMs, int64_t originMs,
                                const std::vector<int>& readouts) const {
    QByteArray csv = CsvHeader(readouts);
    for (size_t i = LowerBound(fromMs - kBucketMs + 1); i < m_buckets.size(); ++i) {
        const Bucket& b = m_buckets[i];
        if (b.lastMs > toMs)
            break;
        if (b.lastMs < fromMs)
            continue;
        csv += CsvRow(double(b.lastMs - originMs) / 1000.0, b.lastLevel, Warnings(b.lastState),
                      readouts);
    }
    return csv;
}

} // namespace session
