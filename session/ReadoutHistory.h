#pragma once
// The read-outs over time: the last hour of every read-out's number, kept
// from the moment the terminal connects so that a plot opened late still
// shows what happened, and the CSV rows the plot and brendlowctl write.
//
// Every read-out's number is a function of the level and the Warnings mode,
// so a broadcast is kept as that state (one byte) and the numbers are looked
// up when drawn. Broadcasts are gathered into 50 ms buckets that keep, per
// read-out, the states that gave the least and the greatest number: a flood
// of 822 broadcasts a second costs 20 buckets a second, and a plot still
// shows every spike.
#include "core/PanelFields.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <deque>
#include <vector>

namespace session {

// The read-outs' numbers, in panel order, for a level and Warnings mode: the
// numbers panel::ReadoutNumber writes (what brendlowctl's "value" holds), so
// a number written again with its decimals gives the same text.
using ReadoutNumberRow = std::array<double, panel::kReadoutCount>;
const ReadoutNumberRow& ReadoutNumbers(uint8_t level, bool warnings);

// The read-out at a place in panel order.
const panel::PanelEntry& ReadoutEntry(int readout);
// A read-out's place in panel order by its control id, or -1.
int ReadoutIndex(int controlId);

// One field of a CSV row, quoted when it holds a comma, a quote or a line
// end (quotes doubled), as spreadsheets read it.
QString CsvField(const QString& text);
// "time,level,Engine Speed (RPM),...": the given read-outs (places in panel
// order), each caption with its unit where it has one; ends with a newline.
QByteArray CsvHeader(const std::vector<int>& readouts);
// One broadcast: seconds with milliseconds, the level as reported, and the
// read-outs' numbers with their decimals; ends with a newline.
QByteArray CsvRow(double seconds, uint8_t level, bool warnings, const std::vector<int>& readouts);
// Every read-out, in panel order: what brendlowctl watch --csv writes.
std::vector<int> AllReadouts();

class CReadoutHistory {
public:
    static constexpr int64_t kSpanMs = 3'600'000; // an hour
    static constexpr int64_t kBucketMs = 50;
    // More buckets than this are never kept.
    static constexpr size_t kMaxBuckets = size_t(kSpanMs / kBucketMs) + 1;

    // The broadcasts of one 50 ms stretch. A state is the clamped level
    // times two plus the Warnings mode.
    struct Bucket {
        int64_t startMs = 0; // a multiple of kBucketMs
        int64_t lastMs = 0;  // the last broadcast in it
        uint32_t count = 0;
        uint8_t lastLevel = 0; // as the device reported it
        uint8_t firstState = 0;
        uint8_t lastState = 0;
        std::array<uint8_t, panel::kReadoutCount> minState{};
        std::array<uint8_t, panel::kReadoutCount> maxState{};
    };

    // A broadcast at `ms` (a steady clock's milliseconds; one earlier than
    // the newest counts as the newest's time).
    void Record(int64_t ms, uint8_t level, bool warnings);
    void Clear() { m_buckets.clear(); }

    const std::deque<Bucket>& Buckets() const { return m_buckets; }
    // The first bucket starting at or after `ms`.
    size_t LowerBound(int64_t ms) const;
    // The newest bucket starting at or before `ms`, or nullptr.
    const Bucket* At(int64_t ms) const;
    int64_t NewestMs() const { return m_buckets.empty() ? 0 : m_buckets.back().lastMs; }
    // What the buckets take in memory.
    size_t MemoryBytes() const { return m_buckets.size() * sizeof(Bucket); }

    static double Number(uint8_t state, int readout);
    static uint8_t State(uint8_t level, bool warnings);
    static bool Warnings(uint8_t state) { return (state & 1) != 0; }
    static uint8_t Level(uint8_t state) { return uint8_t(state >> 1); }

    // The kept broadcasts from `fromMs` to `toMs` as CSV, the header
    // first: one row per bucket, the last broadcast in it, its time in
    // seconds after `originMs`.
    QByteArray Csv(int64_t fromMs, int64_t toMs, int64_t originMs,
                   const std::vector<int>& readouts) const;

private:
    std::deque<Bucket> m_buckets;
};

} // namespace session
