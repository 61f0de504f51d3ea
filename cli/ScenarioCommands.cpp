#include "cli/ScenarioCommands.h"

#include "cli/CommandTable.h"
#include "cli/Output.h"
#include "session/ScenarioPlayer.h"

#include <QFile>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <unistd.h>

namespace cli {

namespace {

QString OneFile(const Request& r) {
    return r.arguments.size() == 1 && !r.arguments[0].isEmpty()
               ? QString()
               : Expected(r.command, Tr("one scenario FILE"), r.arguments.join(' '));
}

// "12.500": the times the steps print, as the traffic lines write theirs.
QString Seconds(int64_t ms) {
    return QString::number(double(ms) / 1000.0, 'f', 3);
}

// The file's plan; its errors, "FILE:LINE:COLUMN: reason", told on stderr
// as a compiler writes them, so that an editor can go to each.
std::optional<scenario::Plan> ReadPlan(const QString& path) {
    session::ScenarioFile file = session::ReadScenarioFile(path);
    for (const QString& problem : file.problems)
        std::fprintf(stderr, "%s\n", problem.toLocal8Bit().constData());
    return std::move(file.plan);
}

QByteArray StepLine(int64_t ms, const scenario::Step& step) {
    return QStringLiteral("%1 line %2: %3\n")
        .arg(Seconds(ms))
        .arg(step.line)
        .arg(QString::fromStdString(step.text))
        .toUtf8();
}

// Ctrl+C (and SIGTERM) only ask the run to end: the handler writes a byte
// that the event loop reads between two handlers, so a command line being
// written is always written whole.
class CInterrupt final : public QObject {
public:
    CInterrupt(QObject* parent, std::function<void()> interrupted) : QObject(parent) {
        if (s_pipe[0] < 0 && ::pipe2(s_pipe, O_NONBLOCK | O_CLOEXEC) != 0)
            return;
        struct sigaction action {};
        action.sa_handler = [](int) {
            const int saved = errno;
            const char byte = 1;
            [[maybe_unused]] const ssize_t ignored = ::write(s_pipe[1], &byte, 1);
            errno = saved;
        };
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGINT, &action, nullptr);
        ::sigaction(SIGTERM, &action, nullptr);
        auto* notifier = new QSocketNotifier(s_pipe[0], QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [interrupted] {
            char bytes[16];
            while (::read(s_pipe[0], bytes, sizeof bytes) > 0) {
            }
            interrupted();
        });
    }

private:
    static inline int s_pipe[2] = {-1, -1};
};

class CPlay final : public CCommand {
public:
    explicit CPlay(CControlTool& tool)
        : CCommand(tool), m_path(tool.GetRequest().arguments.value(0)), m_player(tool.Session()) {}

    void Begin() override {
        std::optional<scenario::Plan> plan = ReadPlan(m_path);
        if (!plan) {
            m_tool.Finish(kExitUsage);
            return;
        }
        const Request& request = m_tool.GetRequest();
        m_player.Load(std::move(*plan), request.loop);
        m_player.SetAcknowledgementTimeout(Milliseconds(request.timeout));
        new CInterrupt(this, [this] {
            m_bInterrupted = true;
            if (m_player.IsPlaying())
                m_player.Stop();
            else
                m_tool.Finish(kExitInterrupted);
        });
        connect(&m_player, &session::CScenarioPlayer::StepStarted, this, [this](int i, qint64 ms) {
            m_nLine = m_player.GetPlan().steps[size_t(i)].line;
            m_tool.Output(StepLine(ms, m_player.GetPlan().steps[size_t(i)]));
        });
        connect(&m_player, &session::CScenarioPlayer::ExpectFailed, this,
                [this](int i, const QString& expected, const QString& shown) {
                    Complain(tr("%1:%2: expect failed: expected \"%3\", shown \"%4\"")
                                 .arg(m_path)
                                 .arg(m_player.GetPlan().steps[size_t(i)].line)
                                 .arg(expected, shown));
                });
        connect(&m_player, &session::CScenarioPlayer::Finished, this, &CPlay::OnFinished);
        CCommand::Begin();
    }

    void Start(const session::DeviceIdentity&) override {
        // Each step's own timeout stands in for the tool's from here on.
        m_tool.CancelDeadline();
        m_player.Play();
    }

private:
    void OnFinished(session::PlayOutcome outcome, const QString& message) {
        if (outcome == session::PlayOutcome::NoAcknowledgement) {
            m_tool.Finish(kExitNoAcknowledgement, message);
            return;
        }
        if (outcome == session::PlayOutcome::Stopped && m_bInterrupted) {
            Complain(tr("%1: stopped before line %2 ended").arg(m_path).arg(m_nLine));
            m_tool.Finish(kExitInterrupted);
            return;
        }
        const int failed = m_player.FailedExpects();
        if (failed > 0)
            m_tool.Finish(kExitExpectFailed, tr("%1: %n expect(s) failed", "", failed).arg(m_path));
        else
            m_tool.Finish(kExitOk);
    }

    const QString m_path;
    session::CScenarioPlayer m_player;
    int m_nLine = 0;
    bool m_bInterrupted = false;
};

class CRecord final : public CCommand {
public:
    using CCommand::CCommand;

    void Begin() override {
        const Request& request = m_tool.GetRequest();
        const QString path = request.arguments.value(0);
        m_file.setFileName(path);
        const bool open = path == QLatin1String("-")
                              ? m_file.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered)
                              : m_file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        if (!open) {
            m_tool.Finish(kExitOutput, tr("%1: cannot write: %2").arg(path, m_file.errorString()));
            return;
        }
        new CInterrupt(this, [this] { End(); });
        connect(&m_stop, &QTimer::timeout, this, &CRecord::End);
        m_stop.setSingleShot(true);
        Write(tr("# Recorded from %1 by brendlowctl record.\n").arg(request.portShown).toUtf8());
        CCommand::Begin();
    }

    void Start(const session::DeviceIdentity&) override {
        m_startNs = proto::SteadyNs();
        connect(&m_tool.Session(), &session::CDeviceSession::LevelReported, this,
                [this](const session::LevelStatus& s) {
                    Write(m_recorder.Report(
                        Ms(), {s.level, {s.modes.dynamic, s.modes.quiet, s.modes.warnings}}));
                });
        const double seconds = m_tool.GetRequest().seconds;
        if (seconds >= 0)
            m_stop.start(Milliseconds(seconds));
    }

private:
    int64_t Ms() const { return (proto::SteadyNs() - m_startNs) / 1'000'000; }

    void Write(const std::string& text) { Write(QByteArray::fromStdString(text)); }
    void Write(const QByteArray& text) {
        if (m_tool.Finished() || text.isEmpty())
            return;
        if (m_file.write(text) != text.size() || !m_file.flush())
            m_tool.Finish(kExitOutput,
                          tr("%1: cannot write: %2").arg(m_file.fileName(), m_file.errorString()));
    }

    void End() {
        if (m_startNs != 0)
            Write(m_recorder.End(Ms()));
        m_tool.Finish(kExitOk);
    }

    QFile m_file;
    QTimer m_stop;
    scenario::CRecorder m_recorder;
    int64_t m_startNs = 0;
};

} // namespace

QString PlayProblem(const Request& request) {
    return OneFile(request);
}

QString RecordProblem(const Request& request) {
    return OneFile(request);
}

int CheckScenario(const Request& request, const QString&) {
    const QString path = request.arguments.value(0);
    const std::optional<scenario::Plan> plan = ReadPlan(path);
    if (!plan)
        return kExitUsage;
    if (!request.check)
        return -1;
    const std::vector<int64_t> starts = scenario::StepStarts(*plan);
    QByteArray out;
    for (size_t i = 0; i < plan->steps.size(); ++i)
        out += StepLine(starts[i], plan->steps[i]);
    out += QStringLiteral("%1 end\n").arg(Seconds(starts.back())).toUtf8();
    return Print(out) ? kExitOk : kExitOutput;
}

std::unique_ptr<CCommand> MakePlay(CControlTool& tool) {
    return std::make_unique<CPlay>(tool);
}

std::unique_ptr<CCommand> MakeRecord(CControlTool& tool) {
    return std::make_unique<CRecord>(tool);
}

} // namespace cli
