#pragma once
// Command-line options of the device emulator.
#include "can/CanDevice.h"
#include "emulator/EmulatedDevice.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <string>

namespace emulator {

struct EmulatorOptions {
    DeviceSettings device;

    double rate = 10.0;              // level broadcasts per second
    std::string linkPath;            // symbolic link to the pty's slave side, or empty
    std::string tracePath;           // received bytes and lines, or empty
    std::optional<can::CanName> can; // a Qt SerialBus plugin and its interface, or none
    std::string candumpPath;         // CAN frames sent, "-" for stdout, or empty
    uint16_t gatewayPort = 0;        // serves the bus's frames on 127.0.0.1; 0: none
    std::string sendLogPath;         // level broadcasts written, or empty
    double silentAfter = -1.0;       // seconds; negative: never
    double exitAfter = -1.0;         // seconds; negative: never
    bool noise = false;
    bool garbage = false;
    bool flood = false;
    double paceBytes = 0.0; // bytes per second; 0: as fast as the pty takes them
    bool seedGiven = false;
    uint64_t seed = 0;
};

enum class ParseOutcome { Run, Help, Error };

// Parses the whole command line, the program first. On Help, `text` is the
// help; on Error, it says what is wrong, naming the option.
ParseOutcome ParseOptions(const QStringList& arguments, EmulatorOptions& options, QString& text);

} // namespace emulator
