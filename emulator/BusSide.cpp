#include "emulator/BusSide.h"

#include "core/Candump.h"

#include <QCanBusDevice>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QScopeGuard>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <memory>
#include <optional>

namespace emulator {

namespace {

// Every interval (100 ms and up) and the claim's 250 ms wait are multiples
// of 50 ms, counted from the claims, so a tick every 50 ms meets each one on
// time; the schedule keeps the cadence, so a tick's lateness does not add up.
// (A 10 ms tick cost the emulator 0.8 % of a core for nothing.)
constexpr int kTickMs = 50;
// virtualcan connects in the background and never gives up on its own.
constexpr int kConnectMs = 5000;

QString Tr(const char* text) {
    return QCoreApplication::translate("emulator", text);
}

QString Off() {
    return Tr("The bus side is off; the serial side runs on.");
}

} // namespace

CBusSide::CBusSide(const DeviceSettings& settings, BusSetup setup, CBusExchange& exchange, Say say,
                   std::function<void()> fatal)
    : m_settings(settings), m_setup(std::move(setup)), m_exchange(exchange), m_say(std::move(say)),
      m_fatal(std::move(fatal)) {}

CBusSide::~CBusSide() {
    Stop();
}

void CBusSide::Stop() {
    quit();
    wait();
}

// A device that connects or is connecting; nothing, said why, when there is
// none.
QCanBusDevice* CBusSide::Open() {
    can::Opened opened = can::OpenCanDevice(*m_setup.can);
    if (!opened.device) {
        QString text = opened.error; // a sentence of its own here
        text[0] = text[0].toUpper();
        m_say(text + u'.' + u' ' + Off());
    }
    return opened.device.release();
}

void CBusSide::run() {
    // In the thread its sockets live in, on every way out: a bus side that
    // is off serves nothing, so its clients are refused rather than kept.
    const auto closeGateway = qScopeGuard([this] {
        if (m_setup.gateway)
            m_setup.gateway->Close();
    });
    const QString name = m_setup.can ? m_setup.can->Text() : QString();
    std::unique_ptr<QCanBusDevice> device;
    if (m_setup.can) {
        device.reset(Open());
        if (!device)
            return;
    }
    const std::string interface =
        n2k::CandumpInterface(m_setup.can ? m_setup.can->interface.toStdString() : std::string());
    CBusModel model(m_settings);
    QElapsedTimer clock; // valid once the nodes have claimed
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(kTickMs);
    std::vector<n2k::CanFrame> out;
    const auto nowMs = [&clock] { return static_cast<uint64_t>(clock.elapsed()); };

    const auto turnOff = [&](const QString& why) {
        m_say(why + u' ' + Off());
        ticker.stop();
        quit();
    };
    // Sends what the model put out and logs what went; a log that cannot be
    // written ends the run, as the serial side's logs do.
    const auto send = [&] {
        bool logged = false;
        bool logFailed = false;
        for (const n2k::CanFrame& frame : out) {
            if (device && !device->writeFrame(can::ToQt(frame)))
                continue; // not on the bus: not in the log either
            if (!m_setup.candump && !m_setup.gateway)
                continue;
            const std::string line =
                n2k::FormatCandumpLine(n2k::WallMicroseconds(), interface, frame);
            if (m_setup.gateway)
                m_setup.gateway->Publish(line);
            if (!m_setup.candump || logFailed)
                continue;
            if (std::fprintf(m_setup.candump, "%s\n", line.c_str()) < 0)
                logFailed = true;
            else
                logged = true;
        }
        out.clear();
        if (m_setup.candump &&
            (std::ferror(m_setup.candump) || (logged && std::fflush(m_setup.candump) != 0))) {
            if (m_candumpError == 0) {
                m_candumpError = errno != 0 ? errno : EIO;
                ticker.stop();
                m_fatal();
                quit();
            }
            return;
        }
        m_exchange.SetClaims(model.Claims());
    };
    const auto begin = [&] {
        clock.start();
        model.Start(nowMs(), out);
        send();
        ticker.start();
    };
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        model.Tick(nowMs(), m_exchange.State(), out);
        send();
    });

    if (device) {
        QCanBusDevice* d = device.get();
        QObject::connect(d, &QCanBusDevice::framesReceived, [&, d] {
            for (const QCanBusFrame& qt : d->readAllFrames()) {
                const auto frame = can::FromQt(qt);
                if (!frame)
                    continue;
                if (m_setup.gateway) // the whole bus, as a gateway passes it on
                    m_setup.gateway->Publish(
                        n2k::FormatCandumpLine(n2k::WallMicroseconds(), interface, *frame));
                if (clock.isValid())
                    model.Receive(*frame, nowMs(), out);
            }
            send();
        });
        QObject::connect(
            d, &QCanBusDevice::stateChanged, [&, d](QCanBusDevice::CanBusDeviceState state) {
                if (state == QCanBusDevice::ConnectedState && !clock.isValid())
                    begin();
                else if (state == QCanBusDevice::UnconnectedState)
                    turnOff((clock.isValid() ? Tr("The CAN interface %1 went down: %2.")
                                             : Tr("Cannot open the CAN interface %1: %2."))
                                .arg(name, d->errorString().isEmpty() ? Tr("the connection closed")
                                                                      : d->errorString()));
            });
        // A frame nobody acknowledges fills the adapter's queue; say so once
        // and keep sending, as a device on a bus does.
        bool writeErrorSaid = false;
        QObject::connect(d, &QCanBusDevice::errorOccurred,
                         [&, d](QCanBusDevice::CanBusError error) {
                             if (error != QCanBusDevice::WriteError || writeErrorSaid)
                                 return;
                             writeErrorSaid = true;
                             m_say(Tr("Cannot send on the CAN interface %1: %2. The bus side "
                                      "goes on trying.")
                                       .arg(name, d->errorString()));
                         });
        QTimer::singleShot(kConnectMs, &ticker, [&] {
            if (!clock.isValid())
                turnOff(Tr("Cannot open the CAN interface %1: no connection after %2 s.")
                            .arg(name)
                            .arg(kConnectMs / 1000));
        });
        if (d->state() == QCanBusDevice::ConnectedState)
            begin();
    } else {
        begin();
    }
    exec();
    ticker.stop();
    if (device) {
        QObject::disconnect(device.get(), nullptr, nullptr, nullptr); // a stop is no news
        if (device->state() != QCanBusDevice::UnconnectedState)
            device->disconnectDevice();
    }
    m_exchange.SetClaims(CBusExchange::kNothingClaimed);
}

} // namespace emulator
