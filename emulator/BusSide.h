#pragma once
// The emulator's bus side. QCanBusDevice needs a Qt event loop, and the
// serial side's ppoll() loop must keep its timing (the paced bytes, the
// flood, the trace times), so the bus side runs in a thread of its own with
// its own event loop: it takes the device state from the exchange at each
// tick, so a command line on the serial side shows in the very next
// messages, and leaves its nodes' claims there for the claim broadcast.
// Without a CAN interface it runs the bus model on the same schedule for the
// candump log and the gateway alone.
#include "can/CanDevice.h"
#include "emulator/BusModel.h"
#include "emulator/CandumpGateway.h"

#include <QString>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <functional>
#include <optional>

class QCanBusDevice;

namespace emulator {

struct BusSetup {
    std::optional<can::CanName> can;    // none: the bus side runs for its candump alone
    FILE* candump = nullptr;            // the frames sent, or none
    CCandumpGateway* gateway = nullptr; // listening; serves every frame on the bus
};

class CBusSide final : public QThread {
public:
    using Say = std::function<void(const QString&)>;

    // `say` reports what became of the CAN interface, from the bus thread.
    // `fatal` is called there when the candump log cannot be written: the
    // run is to end. The exchange and the file must outlive the thread.
    CBusSide(const DeviceSettings& settings, BusSetup setup, CBusExchange& exchange, Say say,
             std::function<void()> fatal);
    ~CBusSide() override;

    // Ends the thread and waits for it.
    void Stop();
    // The errno of the candump write that failed, 0 if none did.
    int CandumpError() const { return m_candumpError; }

protected:
    void run() override;

private:
    QCanBusDevice* Open();

    DeviceSettings m_settings;
    BusSetup m_setup;
    CBusExchange& m_exchange;
    Say m_say;
    std::function<void()> m_fatal;
    std::atomic<int> m_candumpError{0};
};

} // namespace emulator
