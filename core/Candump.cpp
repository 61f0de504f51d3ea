#include "core/Candump.h"

#include <chrono>
#include <cstdio>

namespace n2k {

namespace {

constexpr size_t kIdDigits = 8;       // an extended identifier; standard ones have 3
constexpr size_t kFractionDigits = 6; // microseconds
constexpr size_t kMaxSecondsDigits = 12;
constexpr size_t kMaxInterfaceLength = 15; // the kernel's interface names

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool Digits(std::string_view text, size_t minCount, size_t maxCount, uint64_t& value) {
    if (text.size() < minCount || text.size() > maxCount)
        return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return true;
}

} // namespace

std::string FormatCandumpLine(uint64_t microseconds, std::string_view interface,
                              const CanFrame& frame) {
    char head[64];
    std::snprintf(head, sizeof head, "(%llu.%06llu) ",
                  static_cast<unsigned long long>(microseconds / 1000000),
                  static_cast<unsigned long long>(microseconds % 1000000));
    std::string line = head;
    line += interface;
    char id[16];
    std::snprintf(id, sizeof id, " %08X#", static_cast<unsigned>(frame.id & 0x1FFFFFFF));
    line += id;
    static const char kDigits[] = "0123456789ABCDEF";
    for (size_t i = 0; i < frame.length && i < frame.data.size(); ++i) {
        line += kDigits[frame.data[i] >> 4];
        line += kDigits[frame.data[i] & 0x0F];
    }
    return line;
}

std::optional<CandumpRecord> ParseCandumpLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    if (line.size() < 2 || line.front() != '(')
        return std::nullopt;
    const size_t close = line.find(") ");
    const size_t dot = line.find('.');
    if (close == std::string_view::npos || dot == std::string_view::npos || dot > close)
        return std::nullopt;
    CandumpRecord r;
    uint64_t seconds = 0;
    uint64_t fraction = 0;
    if (!Digits(line.substr(1, dot - 1), 1, kMaxSecondsDigits, seconds) ||
        !Digits(line.substr(dot + 1, close - dot - 1), kFractionDigits, kFractionDigits, fraction))
        return std::nullopt;
    r.microseconds = seconds * 1000000 + fraction;

    line.remove_prefix(close + 2);
    const size_t space = line.find(' ');
    if (space == 0 || space == std::string_view::npos || space > kMaxInterfaceLength)
        return std::nullopt;
    r.interface = std::string(line.substr(0, space));
    line.remove_prefix(space + 1);

    if (line.size() < kIdDigits + 1 || line[kIdDigits] != '#')
        return std::nullopt;
    uint32_t id = 0;
    for (size_t i = 0; i < kIdDigits; ++i) {
        const int v = HexValue(line[i]);
        if (v < 0)
            return std::nullopt;
        id = id << 4 | static_cast<uint32_t>(v);
    }
    if (id > 0x1FFFFFFF)
        return std::nullopt;
    const std::string_view data = line.substr(kIdDigits + 1);
    if (data.size() % 2 != 0 || data.size() > 2 * r.frame.data.size())
        return std::nullopt;
    r.frame.id = id;
    r.frame.length = static_cast<uint8_t>(data.size() / 2);
    for (size_t i = 0; i < r.frame.length; ++i) {
        const int high = HexValue(data[2 * i]);
        const int low = HexValue(data[2 * i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        r.frame.data[i] = static_cast<uint8_t>(high << 4 | low);
    }
    return r;
}

uint64_t WallMicroseconds() {
    using namespace std::chrono;
    return static_cast<uint64_t>(
        duration_cast<microseconds>(system_clock::now().time_since_epoch()).count());
}

std::string CandumpInterface(std::string_view interface) {
    constexpr size_t kMaxName = 15; // a Linux network interface's name
    const size_t slash = interface.rfind('/');
    const std::string_view name =
        slash == std::string_view::npos ? interface : interface.substr(slash + 1);
    if (name.empty() || name.size() > kMaxName || name.find(' ') != std::string_view::npos)
        return "can0";
    return std::string(name);
}

} // namespace n2k
