#pragma once
// A CAN adapter through Qt SerialBus, as the emulator and brendlowctl open
// it: "PLUGIN:INTERFACE", split at the first colon, since an interface may
// hold colons itself (virtualcan's "tcp://127.0.0.1:PORT/can0").
#include "core/N2kFrames.h"

#include <QCanBusDevice>
#include <QCanBusFrame>
#include <QString>
#include <memory>
#include <optional>

namespace can {

// Call first thing in main(), in a program that may open a CAN adapter.
// - The CAN plugins' notes are not the program's messages: their servers
//   and sockets, and socketcan's search for the optional libsocketcan (only
//   needed to set a bit rate, which is the system's job here: `ip link`).
//   Errors still reach the user through the device's error string;
//   QT_LOGGING_RULES turns the notes back on.
// - virtualcan stamps every frame with the local time. With TZ unset, the C
//   library checks /etc/localtime for a change at each stamp: a quarter of
//   brendlowctl's time on a loaded bus. TZ naming that same file keeps the
//   zone and reads it once.
void PrepareProcess();

struct CanName {
    QString plugin;
    QString interface;
    QString Text() const { return plugin + u':' + interface; }
};

// Empty when `text` lacks a plugin or an interface.
std::optional<CanName> SplitCanName(const QString& text);

// A device that is connected or connecting, or why there is none: the
// plugin does not exist (the message lists those that do) or the interface
// cannot be opened.
struct Opened {
    std::unique_ptr<QCanBusDevice> device;
    QString error;
};
Opened OpenCanDevice(const CanName& name);

QCanBusFrame ToQt(const n2k::CanFrame& frame);
// NMEA 2000 uses extended data frames of up to eight bytes only; anything
// else on the bus is not ours to read.
std::optional<n2k::CanFrame> FromQt(const QCanBusFrame& qt);

} // namespace can
