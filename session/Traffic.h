#pragma once
// One line of the serial traffic, as the traffic monitor and `brendlowctl
// traffic` show it.
#include <QByteArray>
#include <QMetaType>
#include <cstdint>

namespace session {

enum class Verdict {
    Ok,          // sent, or received and acted on
    BadChecksum, // a known report whose checksum does not add up
    Unexpected,  // well formed, but nothing the terminal acts on now
    Dropped,     // bytes that never made a complete line: noise, overlong lines
};

struct TrafficLine {
    int64_t ns = 0;         // steady clock
    double msSinceOpen = 0; // since the port was opened
    bool sent = false;
    Verdict verdict = Verdict::Ok;
    QByteArray bytes; // as they went over the line, CR LF included
};

// "ok", "bad-checksum", "unexpected", "dropped".
const char* VerdictName(Verdict verdict);

// The bytes without a final CR LF, every byte outside printable ASCII as
// \xHH (a backslash as \x5C), so that a line always reads as one line.
QByteArray VisibleText(const QByteArray& bytes);

} // namespace session

Q_DECLARE_METATYPE(session::TrafficLine)
