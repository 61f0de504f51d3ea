#pragma once
// The command lines the terminal sends to the device: "AT ", a command word,
// its arguments as hex pairs, a checksum pair (none in the identification
// query) and CR LF.
#include <array>
#include <cstdint>
#include <string_view>

namespace proto {

struct CommandLine {
    std::array<uint8_t, 32> bytes{};
    int length = 0;

    std::string_view View() const {
        return {reinterpret_cast<const char*>(bytes.data()), static_cast<size_t>(length)};
    }
};

// Key codes of the remote keypad and mode switches. Warnings shares Menu's code.
inline constexpr uint8_t kKeyMenu = 0x10;
inline constexpr uint8_t kKeyDown = 0x01;
inline constexpr uint8_t kKeyUp = 0x02;
inline constexpr uint8_t kKeyDynamic = 0x52;
inline constexpr uint8_t kKeyQuiet = 0x43;
inline constexpr uint8_t kKeyWarnings = 0x10;

inline constexpr int kIdQueryLength = 8;
inline constexpr int kKeyCommandLength = 11;
inline constexpr int kLevelCommandLength = 10;
inline constexpr int kDeviceInstanceLineLength = 25;

CommandLine BuildIdQuery();                   // "AT ID?" CR LF
CommandLine BuildKeyCommand(uint8_t keyCode); // "AT KI" kk cc CR LF
CommandLine BuildLevelCommand(uint8_t level); // "AT %" ll cc CR LF
CommandLine
BuildDeviceInstanceLine(const std::array<uint8_t, 8>& instances); // "AT DI" 8 pairs cc CR LF

} // namespace proto
