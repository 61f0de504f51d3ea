#include "cli/RecordCommands.h"

#include "cli/Output.h"
#include "cli/RecordJson.h"
#include "session/PanelSnapshot.h"
#include "session/ReadoutHistory.h"
#include "session/TrafficLog.h"

#include <algorithm>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

namespace cli {

namespace {

class CIdentify final : public CCommand {
public:
    using CCommand::CCommand;

    void Start(const session::DeviceIdentity& identity) override {
        const Request& request = m_tool.GetRequest();
        const QByteArray out = request.json
                                   ? JsonLine(IdentityJson(identity, request.portShown))
                                   : QStringLiteral("product: %1\nfirmware: %2\nserial: %3\n")
                                         .arg(identity.product, identity.firmware.trimmed())
                                         .arg(identity.serialNumber)
                                         .toUtf8();
        if (m_tool.Output(out))
            m_tool.Finish(kExitOk);
    }
};

// "label   text", the text wrapped at its spaces to `width` columns, each
// further line under the first one's text.
QStringList Labelled(const QString& label, const QString& text, int width) {
    constexpr int kLabelWidth = 28;
    const qsizetype room = std::max(20, width - kLabelWidth);
    QStringList rows{label.leftJustified(kLabelWidth)};
    qsizetype used = 0;
    for (const QString& word : text.split(' ')) {
        if (used > 0 && used + 1 + word.size() > room) {
            rows << QString(kLabelWidth, ' ');
            used = 0;
        }
        if (used > 0) {
            rows.last() += ' ';
            ++used;
        }
        rows.last() += word;
        used += word.size();
    }
    return rows;
}

// The panel as a table for a terminal of `width` columns: the record's
// line, the read-outs and text boxes in as many columns as fit, in panel
// order down each column, then the claims and instances. Each line clears
// what an earlier table left to its right, and the table what was below
// it, so that the next table overwrites this one in place without the
// flicker of clearing the screen.
QByteArray PanelTable(const QByteArray& line, const session::LevelStatus& status,
                      const std::optional<proto::AddressClaim>& claims,
                      const std::optional<proto::InstanceReport>& instances, int width) {
    const panel::PanelSnapshot s = panel::SnapshotAt(status.level, status.modes.warnings);
    QStringList captions, texts;
    for (const auto* list : {&s.readouts, &s.texts})
        for (const panel::SnapshotEntry& e : *list) {
            captions << QString::fromLatin1(e.entry->caption);
            texts << e.text;
        }
    qsizetype captionWidth = 0, textWidth = 0;
    for (qsizetype i = 0; i < captions.size(); ++i) {
        captionWidth = std::max(captionWidth, captions[i].size());
        textWidth = std::max(textWidth, texts[i].size());
    }
    constexpr int kGap = 3;
    const qsizetype cell = captionWidth + 2 + textWidth;
    const qsizetype columns = std::max<qsizetype>(1, (width + kGap) / (cell + kGap));
    const qsizetype rows = (captions.size() + columns - 1) / columns;

    const QByteArray endOfLine = "\x1b[K\n";
    QByteArray table = "\x1b[H" + line.chopped(1) + endOfLine;
    for (qsizetype row = 0; row < rows; ++row) {
        QString text;
        for (qsizetype i = row; i < captions.size(); i += rows) {
            if (i != row)
                text += QString(kGap, ' ');
            text += captions[i].leftJustified(captionWidth + 2) + texts[i].leftJustified(textWidth);
        }
        table += text.trimmed().toUtf8() + endOfLine;
    }
    const QString notReported = Tr(kNotReported);
    const QString engine =
        claims ? QString::fromStdString(proto::EngineSaText(*claims)) : notReported;
    const QString transmission =
        claims ? QString::fromStdString(proto::TransmissionSaText(*claims)) : notReported;
    const QString shown = instances ? QString::fromLatin1(InstancesText(*instances)) : notReported;
    table += endOfLine;
    for (const auto& [caption, text] : {std::pair{Tr("Engine address claim"), engine},
                                        std::pair{Tr("Transmission address claim"), transmission},
                                        std::pair{Tr("Instances"), shown}})
        for (const QString& row : Labelled(caption, text, width))
            table += row.toUtf8() + endOfLine;
    return table + "\x1b[J";
}

// The device broadcasts its address claims and instances once a second;
// a little more covers the time a broadcast takes on the line.
constexpr int kReportPeriodMs = 1100;

class CWatch final : public CCommand {
public:
    explicit CWatch(CControlTool& tool) : CCommand(tool), m_bTerminal(isatty(STDOUT_FILENO) != 0) {
        m_waitForReports.setSingleShot(true);
        m_stop.setSingleShot(true);
    }

    void Start(const session::DeviceIdentity&) override {
        const Request& request = m_tool.GetRequest();
        session::CDeviceSession& session = m_tool.Session();
        connect(&session, &session::CDeviceSession::LevelReported, this, &CWatch::OnLevel);
        if (request.json) {
            connect(&session, &session::CDeviceSession::AddressClaimReported, this,
                    &CWatch::OnReport);
            connect(&session, &session::CDeviceSession::InstancesReported, this, &CWatch::OnReport);
            connect(&m_waitForReports, &QTimer::timeout, this, &CWatch::WriteHeld);
        }
        connect(&m_stop, &QTimer::timeout, this, [this] {
            WriteHeld();
            m_tool.Finish(kExitOk);
        });
        if (request.seconds >= 0)
            m_stop.start(Milliseconds(request.seconds));
        if (request.csv && !m_tool.Output(session::CsvHeader(m_columns)))
            return;
        if (request.count == 0)
            m_tool.Finish(kExitOk);
    }

private:
    struct Held {
        double time;
        session::LevelStatus status;
    };

    bool Reported() const { return m_tool.Session().Claims() && m_tool.Session().Instances(); }

    void OnLevel(const session::LevelStatus& status) {
        if (m_tool.Finished())
            return;
        const Request& request = m_tool.GetRequest();
        if (request.json) {
            // The first records wait for the claims and instances, at most
            // one broadcast period, so that a script's first record has them.
            if (m_bHolding || (m_nRecords == 0 && !Reported())) {
                if (!m_bHolding)
                    m_waitForReports.start(kReportPeriodMs);
                m_bHolding = true;
                if (request.count < 0 || long(m_held.size()) < request.count)
                    m_held.push_back({m_tool.Elapsed(), status});
                return;
            }
            Write(m_tool.Elapsed(), status);
        } else if (request.csv) {
            ++m_nRecords;
            m_tool.Output(
                session::CsvRow(m_tool.Elapsed(), status.level, status.modes.warnings, m_columns));
        } else {
            ++m_nRecords;
            if (m_bTerminal)
                PrintTable(status, Done());
            else
                m_tool.Output(Line(status));
        }
        if (Done())
            m_tool.Finish(kExitOk);
    }

    void OnReport() {
        if (m_bHolding && Reported())
            WriteHeld();
    }

    void WriteHeld() {
        m_waitForReports.stop();
        m_bHolding = false;
        for (const Held& h : m_held)
            Write(h.time, h.status);
        m_held.clear();
        if (Done())
            m_tool.Finish(kExitOk);
    }

    void Write(double time, const session::LevelStatus& status) {
        if (Done() || m_tool.Finished())
            return;
        ++m_nRecords;
        m_tool.Output(
            LevelRecord(time, status, m_tool.Session().Claims(), m_tool.Session().Instances()));
    }

    bool Done() const {
        const long count = m_tool.GetRequest().count;
        return count >= 0 && m_nRecords >= count;
    }

    // A terminal gets the whole panel and what the device reports, redrawn
    // in place at most ten times a second, and for the last record.
    void PrintTable(const session::LevelStatus& status, bool last) {
        const int64_t now = proto::SteadyNs();
        if (!last && now - m_lastTableNs < 100'000'000)
            return;
        m_lastTableNs = now;
        m_tool.Output(PanelTable(Line(status), status, m_tool.Session().Claims(),
                                 m_tool.Session().Instances(), TerminalWidth()));
    }

    static int TerminalWidth() {
        winsize size{};
        return ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
    }

    QByteArray Line(const session::LevelStatus& s) const {
        return QStringLiteral("%1 level=%2 dynamic=%3 quiet=%4 warnings=%5\n")
            .arg(session::FormatSeconds(m_tool.Elapsed()))
            .arg(s.level)
            .arg(int(s.modes.dynamic))
            .arg(int(s.modes.quiet))
            .arg(int(s.modes.warnings))
            .toLatin1();
    }

    const bool m_bTerminal;
    const std::vector<int> m_columns = session::AllReadouts(); // --csv
    long m_nRecords = 0;
    int64_t m_lastTableNs = 0;
    QTimer m_waitForReports;
    QTimer m_stop;
    bool m_bHolding = false;
    std::vector<Held> m_held;
};

// Prints from the first query on, whether a device answers or not. Bounded
// by --seconds it runs that long whatever the device does; without, it
// needs a device as watch does, so that an unattended run always ends.
class CTraffic final : public CCommand {
public:
    using CCommand::CCommand;

    void Begin() override {
        const Request& request = m_tool.GetRequest();
        connect(&m_tool.Session(), &session::CDeviceSession::Traffic, this,
                [this, json = request.json](const session::TrafficLine& line) {
                    if (m_tool.Finished())
                        return;
                    if (json)
                        m_tool.Output(JsonLine(TrafficJson(line)));
                    else
                        m_tool.Output(session::FormatTime(line).toLatin1() +
                                      (line.sent ? " TX " : " RX ") +
                                      session::VerdictName(line.verdict) + ' ' +
                                      session::VisibleText(line.bytes) + '\n');
                });
        if (request.seconds >= 0)
            m_tool.Expect(request.seconds, kExitOk);
        else
            CCommand::Begin();
    }
    void Start(const session::DeviceIdentity&) override {}
};

} // namespace

std::unique_ptr<CCommand> MakeIdentify(CControlTool& tool) {
    return std::make_unique<CIdentify>(tool);
}

std::unique_ptr<CCommand> MakeWatch(CControlTool& tool) {
    return std::make_unique<CWatch>(tool);
}

std::unique_ptr<CCommand> MakeTraffic(CControlTool& tool) {
    return std::make_unique<CTraffic>(tool);
}

} // namespace cli
