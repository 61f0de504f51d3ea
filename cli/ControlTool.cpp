#include "cli/ControlTool.h"

#include "core/InstanceManagement.h"
#include "session/PanelSnapshot.h"
#include "session/PortMap.h"

#include <QCoreApplication>
#include <QLocale>
#include <cstdio>
#include <unistd.h>

namespace cli {

namespace {

QByteArray Json(const QString& text) {
    QByteArray out = "\"";
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toLatin1();
            else
                out += QString(c).toUtf8();
        }
    }
    return out + "\"";
}

QByteArray Json(bool b) {
    return b ? "true" : "false";
}

QByteArray Number(double v) {
    return QByteArray::number(v, 'g', QLocale::FloatingPointShortest);
}

void Complain(const QString& message) {
    std::fprintf(stderr, "brendlowctl: %s\n", message.toLocal8Bit().constData());
}

// The read-outs and text boxes of one level, in JSON: they depend on the
// level and the Warnings mode alone, so each is made once.
const QByteArray& PanelJson(uint8_t level, bool warnings) {
    static QByteArray cache[2][101];
    const int shown = level > 100 ? 100 : level;
    QByteArray& json = cache[warnings ? 1 : 0][shown];
    if (!json.isEmpty())
        return json;
    const panel::PanelSnapshot snapshot = panel::SnapshotAt(static_cast<uint8_t>(shown), warnings);
    json = "\"readouts\":[";
    for (const panel::SnapshotEntry& r : snapshot.readouts) {
        if (&r != &snapshot.readouts.front())
            json += ',';
        json += "{\"id\":" + QByteArray::number(r.entry->controlId) +
                ",\"caption\":" + Json(QString::fromLatin1(r.entry->caption)) +
                ",\"text\":" + Json(r.text) + ",\"value\":" + Number(r.value) +
                ",\"unit\":" + Json(panel::UnitName(*r.entry)) +
                ",\"pgn\":" + QByteArray::number(qlonglong(r.entry->source.pgn)) +
                ",\"raw\":" + QByteArray::number(qlonglong(r.raw));
        if (r.alternate)
            json += ",\"alternate\":true";
        json += '}';
    }
    json += "],\"texts\":[";
    for (const panel::SnapshotEntry& t : snapshot.texts) {
        if (&t != &snapshot.texts.front())
            json += ',';
        json += "{\"id\":" + QByteArray::number(t.entry->controlId) +
                ",\"caption\":" + Json(QString::fromLatin1(t.entry->caption)) +
                ",\"text\":" + Json(t.text) + '}';
    }
    json += ']';
    return json;
}

QByteArray InstancesJson(const proto::InstanceReport& r) {
    QByteArray json = "{";
    const std::array<uint8_t, 8> values = device::InstancesInLineOrder(r);
    for (size_t i = 0; i < values.size(); ++i)
        json += '"' + QByteArray(device::kInstanceFields[i].name) +
                "\":" + QByteArray::number(values[i]) + ',';
    return json + "\"sid\":" + QByteArray::number(r.sid) + '}';
}

QByteArray InstancesText(const proto::InstanceReport& r) {
    QByteArray text;
    const std::array<uint8_t, 8> values = device::InstancesInLineOrder(r);
    for (size_t i = 0; i < values.size(); ++i)
        text +=
            QByteArray(device::kInstanceFields[i].name) + '=' + QByteArray::number(values[i]) + ' ';
    return text + "sid=" + QByteArray::number(r.sid);
}

} // namespace

CControlTool::CControlTool(Request request, std::unique_ptr<CSerialBackend> serial)
    : m_request(std::move(request)), m_session([&] {
          session::SessionEnvironment env;
          env.serial = std::move(serial);
          return env;
      }()) {
    m_deadline.setSingleShot(true);
    m_bTerminal = isatty(STDOUT_FILENO) != 0;
    connect(&m_session, &session::CDeviceSession::Identified, this, &CControlTool::OnIdentified);
    connect(&m_session, &session::CDeviceSession::Failure, this,
            [this](const QString& text) { OnFailure(text); });
    connect(&m_session, &session::CDeviceSession::PanelReset, this, [this] {
        if (m_bIdentified && m_nExitCode < 0)
            Complain(tr("the device on %1 went silent; searching again").arg(m_request.portShown));
        m_bIdentified = false;
    });
}

CControlTool::~CControlTool() = default;

int CControlTool::Run() {
    m_startNs = proto::SteadyNs();
    if (!m_request.portName.isEmpty())
        m_session.SetPort(m_request.portName);
    m_session.Start();
    if (m_request.command == QLatin1String("traffic"))
        StartTraffic();
    else
        Expect(m_request.timeout, kExitNoAnswer,
               tr("no device answered on %1 within %2 s")
                   .arg(m_request.portShown)
                   .arg(m_request.timeout));
    // Ask at once; the session asks again at every tick until an answer.
    m_session.Connect();
    if (m_nExitCode < 0)
        QCoreApplication::exec();
    m_session.Stop();
    std::fflush(stdout);
    return m_nExitCode;
}

double CControlTool::Elapsed() const {
    return double(proto::SteadyNs() - m_startNs) / 1e9;
}

void CControlTool::Finish(int code, const QString& message) {
    if (m_nExitCode >= 0)
        return;
    if (!message.isEmpty())
        Complain(message);
    m_nExitCode = code;
    m_deadline.stop();
    QCoreApplication::exit(code);
}

void CControlTool::Expect(double seconds, int code, const QString& message) {
    m_deadline.disconnect();
    connect(&m_deadline, &QTimer::timeout, this, [this, code, message] { Finish(code, message); });
    m_deadline.start(static_cast<int>(seconds * 1000));
}

void CControlTool::OnFailure(const QString& text) {
    Finish(kExitCannotOpen, text);
}

void CControlTool::Print(const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void CControlTool::OnIdentified(const session::DeviceIdentity& identity) {
    if (!identity.known) {
        Finish(kExitUnknownProduct, tr("the device on %1 reports an unknown product code %2")
                                        .arg(m_request.portShown)
                                        .arg(identity.productCode));
        return;
    }
    const bool first = !m_bIdentified;
    m_bIdentified = true;
    if (!first || m_request.command == QLatin1String("traffic"))
        return;
    m_deadline.stop();
    const QString& command = m_request.command;
    if (command == QLatin1String("identify")) {
        const QString firmware = identity.firmware.trimmed();
        if (m_request.json)
            Print("{\"product\":" + Json(identity.product) + ",\"productCode\":" +
                  QByteArray::number(identity.productCode) + ",\"firmware\":" + Json(firmware) +
                  ",\"serial\":" + QByteArray::number(identity.serialNumber) +
                  ",\"port\":" + Json(m_request.portShown) + "}\n");
        else
            Print(QStringLiteral("product: %1\nfirmware: %2\nserial: %3\n")
                      .arg(identity.product, firmware)
                      .arg(identity.serialNumber)
                      .toUtf8());
        Finish(kExitOk);
    } else if (command == QLatin1String("watch")) {
        StartWatch();
    } else if (command == QLatin1String("level")) {
        StartLevel(static_cast<uint8_t>(m_request.arguments.value(0).toInt()));
    } else if (command == QLatin1String("key")) {
        StartKey(m_request.arguments.value(0));
    } else if (command == QLatin1String("sweep")) {
        m_nSweepLevel = m_request.arguments.value(0).toInt();
        m_nSweepTo = m_request.arguments.value(1).toInt();
        connect(&m_session, &session::CDeviceSession::LevelAcknowledged, this, [this] {
            Print(QByteArray::number(m_nSweepLevel) + '\n');
            const int direction = m_nSweepTo >= m_nSweepLevel ? 1 : -1;
            if (m_nSweepLevel == m_nSweepTo) {
                Finish(kExitOk);
                return;
            }
            const int next = m_nSweepLevel + direction * m_request.step;
            m_nSweepLevel = direction > 0 ? std::min(next, m_nSweepTo) : std::max(next, m_nSweepTo);
            m_deadline.stop();
            QTimer::singleShot(static_cast<int>(m_request.every * 1000), this,
                               &CControlTool::SweepStep);
        });
        SweepStep();
    } else if (command == QLatin1String("instances")) {
        StartInstances();
    }
}

// ---------------------------------------------------------------- watch

void CControlTool::StartWatch() {
    connect(&m_session, &session::CDeviceSession::LevelReported, this, &CControlTool::OnLevel);
    if (m_request.seconds >= 0) {
        m_deadline.disconnect();
        connect(&m_deadline, &QTimer::timeout, this, [this] { Finish(kExitOk); });
        m_deadline.start(static_cast<int>(m_request.seconds * 1000));
    }
    if (m_request.count == 0)
        Finish(kExitOk);
}

void CControlTool::OnLevel(const session::LevelStatus& status) {
    if (m_nExitCode >= 0)
        return;
    if (m_request.json) {
        Print(WatchRecord(status));
    } else if (m_bTerminal) {
        // A terminal gets the whole panel, redrawn at most ten times a second.
        const int64_t now = proto::SteadyNs();
        if (now - m_lastTableNs >= 100'000'000) {
            m_lastTableNs = now;
            QByteArray table = "\x1b[H\x1b[2J" + WatchLine(status);
            const panel::PanelSnapshot s = panel::SnapshotAt(status.level, status.modes.warnings);
            for (const auto* list : {&s.readouts, &s.texts})
                for (const panel::SnapshotEntry& e : *list)
                    table += QStringLiteral("%1  %2\n")
                                 .arg(QString::fromLatin1(e.entry->caption), -26)
                                 .arg(e.text)
                                 .toUtf8();
            Print(table);
        }
    } else {
        Print(WatchLine(status));
    }
    if (m_request.count > 0 && ++m_nRecords >= m_request.count)
        Finish(kExitOk);
}

QByteArray CControlTool::WatchLine(const session::LevelStatus& s) {
    return QStringLiteral("%1 level=%2 dynamic=%3 quiet=%4 warnings=%5\n")
        .arg(Elapsed(), 0, 'f', 3)
        .arg(s.level)
        .arg(int(s.modes.dynamic))
        .arg(int(s.modes.quiet))
        .arg(int(s.modes.warnings))
        .toLatin1();
}

QByteArray CControlTool::WatchRecord(const session::LevelStatus& s) {
    QByteArray json = "{\"time\":" + QByteArray::number(Elapsed(), 'f', 3) +
                      ",\"level\":" + QByteArray::number(s.level) +
                      ",\"modes\":{\"dynamic\":" + Json(s.modes.dynamic) +
                      ",\"quiet\":" + Json(s.modes.quiet) +
                      ",\"warnings\":" + Json(s.modes.warnings) + "},";
    json += PanelJson(s.level, s.modes.warnings);
    json += ",\"claims\":";
    if (const auto& claims = m_session.Claims())
        json += "{\"engine\":" + Json(QString::fromStdString(proto::EngineSaText(*claims))) +
                ",\"transmission\":" +
                Json(QString::fromStdString(proto::TransmissionSaText(*claims))) + '}';
    else
        json += "null";
    json += ",\"instances\":";
    json += m_session.Instances() ? InstancesJson(*m_session.Instances()) : QByteArray("null");
    return json + "}\n";
}

// ---------------------------------------------------------------- traffic

void CControlTool::StartTraffic() {
    connect(&m_session, &session::CDeviceSession::Traffic, this,
            [this](const session::TrafficLine& line) {
                const QByteArray time = QByteArray::number(line.msSinceOpen / 1000.0, 'f', 3);
                const QByteArray direction = line.sent ? "TX" : "RX";
                const QByteArray text = session::VisibleText(line.bytes);
                if (m_request.json)
                    Print("{\"time\":" + time + ",\"dir\":\"" + direction + "\",\"verdict\":\"" +
                          session::VerdictName(line.verdict) +
                          "\",\"text\":" + Json(QString::fromLatin1(text)) + "}\n");
                else
                    Print(time + ' ' + direction + ' ' + session::VerdictName(line.verdict) + ' ' +
                          text + '\n');
            });
    if (m_request.seconds >= 0) {
        connect(&m_deadline, &QTimer::timeout, this, [this] { Finish(kExitOk); });
        m_deadline.start(static_cast<int>(m_request.seconds * 1000));
    }
}

// ---------------------------------------------------------------- commands

void CControlTool::StartLevel(uint8_t level) {
    connect(&m_session, &session::CDeviceSession::LevelAcknowledged, this,
            [this] { Finish(kExitOk); });
    SendLevel(level);
}

void CControlTool::SendLevel(uint8_t level) {
    Expect(m_request.timeout, kExitNoAcknowledgement,
           tr("the device did not acknowledge level %1 within %2 s")
               .arg(level)
               .arg(m_request.timeout));
    m_session.SendLevel(level);
}

void CControlTool::SweepStep() {
    if (m_nExitCode < 0)
        SendLevel(static_cast<uint8_t>(m_nSweepLevel));
}

void CControlTool::StartKey(const QString& name) {
    connect(&m_session, &session::CDeviceSession::KeyAcknowledged, this,
            [this] { Finish(kExitOk); });
    Expect(m_request.timeout, kExitNoAcknowledgement,
           tr("the device did not acknowledge the %1 key within %2 s")
               .arg(name)
               .arg(m_request.timeout));
    const session::Modes modes = m_session.CurrentModes();
    if (name == QLatin1String("menu"))
        m_session.PressKey(session::Key::Menu);
    else if (name == QLatin1String("down"))
        m_session.PressKey(session::Key::Down);
    else if (name == QLatin1String("up"))
        m_session.PressKey(session::Key::Up);
    else if (name == QLatin1String("dynamic"))
        m_session.SetMode(session::Mode::Dynamic, !modes.dynamic);
    else if (name == QLatin1String("quiet"))
        m_session.SetMode(session::Mode::Quiet, !modes.quiet);
    else
        m_session.SetMode(session::Mode::Warnings, !modes.warnings);
}

void CControlTool::StartInstances() {
    for (const QString& argument : m_request.arguments) {
        const QString name = argument.section('=', 0, 0);
        for (size_t i = 0; i < device::kInstanceFields.size(); ++i)
            if (name == QLatin1String(device::kInstanceFields[i].name)) {
                m_named[i] = true;
                m_wanted[i] = static_cast<uint8_t>(argument.section('=', 1).toInt());
            }
    }
    // The unnamed instances keep what the device reports now.
    connect(&m_session, &session::CDeviceSession::InstancesReported, this,
            &CControlTool::SendInstances);
    Expect(m_request.timeout, kExitNoAnswer,
           tr("the device sent no instance report within %1 s").arg(m_request.timeout));
    if (m_session.Instances())
        SendInstances(*m_session.Instances());
}

void CControlTool::SendInstances(const proto::InstanceReport& current) {
    if (m_nExitCode >= 0)
        return;
    const std::array<uint8_t, 8> now = device::InstancesInLineOrder(current);
    if (m_bInstancesSent) {
        // The device's next report tells whether it took them.
        bool taken = true;
        for (size_t i = 0; i < now.size(); ++i)
            taken = taken && (!m_named[i] || now[i] == m_wanted[i]);
        if (!taken)
            return;
        Print((m_request.json ? InstancesJson(current) : InstancesText(current)) + '\n');
        Finish(kExitOk);
        return;
    }
    std::array<uint8_t, 8> line = now;
    for (size_t i = 0; i < line.size(); ++i)
        if (m_named[i])
            line[i] = m_wanted[i];
    m_bInstancesSent = true;
    Expect(m_request.timeout, kExitNoAcknowledgement,
           tr("the device did not take the new instances within %1 s").arg(m_request.timeout));
    m_session.SendInstances(line);
}

// ---------------------------------------------------------------- ports

int RunPorts(const QString& dataFolder, const QStringList& assign, const QStringList& remove,
             bool json) {
    for (const QString& a : assign) {
        const int n = ports::PortNumberFromName(a.section('=', 0, 0));
        const QString error = ports::Assign(n, a.section('=', 1), dataFolder);
        if (!error.isEmpty()) {
            Complain(error);
            return kExitCannotOpen;
        }
    }
    for (const QString& r : remove) {
        const QString error = ports::Remove(ports::PortNumberFromName(r), dataFolder);
        if (!error.isEmpty()) {
            Complain(error);
            return kExitCannotOpen;
        }
    }
    QByteArray out;
    for (int n = 1; n <= ports::kPortCount; ++n) {
        const ports::Resolution r = ports::Resolve(n, dataFolder);
        if (json)
            out += "{\"port\":\"COM" + QByteArray::number(n) +
                   "\",\"opens\":" + (r.path.isEmpty() ? QByteArray("null") : Json(r.path)) +
                   ",\"description\":" + Json(ports::Describe(n, dataFolder)) + "}\n";
        else
            out += ports::Describe(n, dataFolder).toUtf8() + '\n';
    }
    for (const ports::SystemPort& p : ports::SystemPorts()) {
        if (json)
            out += "{\"system\":" + Json(p.name) + ",\"path\":" + Json(p.path) +
                   ",\"description\":" + Json(p.description) +
                   ",\"manufacturer\":" + Json(p.manufacturer) +
                   ",\"serialNumber\":" + Json(p.serialNumber) + ",\"byId\":" + Json(p.byIdPath) +
                   "}\n";
        else
            out +=
                QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6\n")
                    .arg(p.name, p.path, p.description, p.manufacturer, p.serialNumber, p.byIdPath)
                    .toUtf8();
    }
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    return kExitOk;
}

} // namespace cli
