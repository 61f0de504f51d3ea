#include "session/ScenarioPlayer.h"

#include "core/InstanceManagement.h"
#include "session/PanelSnapshot.h"

#include <QCoreApplication>
#include <QFile>

namespace session {

namespace {

// The steps name the session's modes and keys in the session's order.
static_assert(int(Mode::Warnings) == int(scenario::ModeName::Warnings) &&
              int(Mode::Quiet) == int(scenario::ModeName::Quiet));
static_assert(int(Key::Up) == int(scenario::KeyName::Up) &&
              int(Key::Down) == int(scenario::KeyName::Down));

QString Tr(const char* text) {
    return QCoreApplication::translate("scenario", text);
}

// How each step is written, for a step whose arguments are wrong.
QString Usage(const QString& step) {
    static const std::pair<const char*, const char*> kUsage[] = {
        {"level", "level N"},
        {"ramp", "ramp FROM TO in SECONDS"},
        {"wait", "wait SECONDS"},
        {"mode", "mode dynamic|quiet|warnings on|off"},
        {"key", "key menu|down|up"},
        {"instances", "instances NAME=VALUE ..."},
        {"expect", "expect CAPTION TEXT, or expect level N"},
        {"repeat", "repeat N"},
        {"end", "end"},
    };
    for (const auto& [name, usage] : kUsage)
        if (step == QLatin1String(name))
            return QString::fromLatin1(usage);
    return step;
}

QString InstanceNames() {
    QStringList names;
    for (const device::InstanceField& f : device::kInstanceFields)
        names << QString::fromLatin1(f.name);
    return names.join(' ');
}

} // namespace

QString ScenarioProblemText(const scenario::ParseError& error) {
    using scenario::Problem;
    const QString word = QString::fromStdString(error.word);
    switch (error.problem) {
    case Problem::UnknownStep:
        return Tr("unknown step \"%1\"; steps: level ramp wait mode key instances expect "
                  "repeat end")
            .arg(word);
    case Problem::Arguments:
        return Tr("expected %1").arg(Usage(word));
    case Problem::Level:
        return Tr("expected a level, a whole number 0..100, got \"%1\"").arg(word);
    case Problem::Seconds:
        return Tr("expected seconds 0..1000000 with at most three decimals, got \"%1\"").arg(word);
    case Problem::Count:
        return Tr("expected a count 1..1000000, got \"%1\"").arg(word);
    case Problem::ModeWord:
        return Tr("unknown mode \"%1\"; modes: dynamic quiet warnings").arg(word);
    case Problem::OnOff:
        return Tr("expected on or off, got \"%1\"").arg(word);
    case Problem::KeyWord:
        return Tr("unknown key \"%1\"; keys: menu down up").arg(word);
    case Problem::InstanceName:
        return Tr("expected NAME=VALUE with NAME one of %1, got \"%2\"").arg(InstanceNames(), word);
    case Problem::InstanceValue:
        return Tr("expected an instance 0..15, or 255 to keep it, got \"%1\"").arg(word);
    case Problem::Caption:
        return Tr("no read-out or text box has the caption \"%1\" (brendlowctl watch --json "
                  "lists them)")
            .arg(word);
    case Problem::Quote:
        return Tr("the quoted text is not closed");
    case Problem::EndWithoutRepeat:
        return Tr("end without a repeat");
    case Problem::RepeatWithoutEnd:
        return Tr("repeat without an end");
    case Problem::TooManySteps:
        return Tr("the repeats make more than %1 steps").arg(scenario::kMaxSteps);
    case Problem::NoSteps:
        return Tr("the scenario has no steps");
    }
    return {};
}

QString ScenarioErrorLine(const QString& file, const scenario::ParseError& error) {
    return QStringLiteral("%1:%2:%3: %4")
        .arg(file)
        .arg(error.line)
        .arg(error.column)
        .arg(ScenarioProblemText(error));
}

ScenarioFile ReadScenarioFile(const QString& path) {
    ScenarioFile result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.problems << Tr("%1: cannot read: %2").arg(path, file.errorString());
        return result;
    }
    const QByteArray text = file.readAll();
    scenario::Plan plan = scenario::Parse(std::string_view(text.constData(), size_t(text.size())));
    for (const scenario::ParseError& error : plan.errors)
        result.problems << ScenarioErrorLine(path, error);
    if (plan.Ok())
        result.plan = std::move(plan);
    return result;
}

CScenarioPlayer::CScenarioPlayer(CDeviceSession& session, Clock clock, QObject* parent)
    : QObject(parent), m_session(session), m_clock(std::move(clock)) {
    if (!m_clock)
        m_clock = [] { return proto::SteadyNs() / 1'000'000; };
    m_due.setSingleShot(true);
    m_due.setTimerType(Qt::PreciseTimer);
    m_timeout.setSingleShot(true);
    connect(&m_due, &QTimer::timeout, this, &CScenarioPlayer::OnDue);
    connect(&m_timeout, &QTimer::timeout, this, &CScenarioPlayer::OnTimeout);
    connect(&session, &CDeviceSession::LevelAcknowledged, this, [this] {
        if (m_awaiting == Awaiting::LevelAck)
            ActionDone();
    });
    connect(&session, &CDeviceSession::KeyAcknowledged, this, [this] {
        if (m_awaiting == Awaiting::KeyAck)
            ActionDone();
    });
    connect(&session, &CDeviceSession::LevelReported, this, &CScenarioPlayer::OnLevelReported);
    connect(&session, &CDeviceSession::InstancesReported, this,
            &CScenarioPlayer::OnInstancesReported);
}

CScenarioPlayer::~CScenarioPlayer() = default;

void CScenarioPlayer::Load(scenario::Plan plan, bool loop) {
    Stop();
    m_plan = std::move(plan);
    m_bLoop = loop;
    m_schedule = std::make_unique<scenario::CSchedule>(m_plan, m_bLoop);
}

int64_t CScenarioPlayer::ElapsedMs() const {
    return m_bPlaying ? m_schedule->ElapsedMs(Now()) : 0;
}

int64_t CScenarioPlayer::StepStartMs(int step) const {
    return m_schedule ? m_schedule->StepStartMs(size_t(step)) : 0;
}

void CScenarioPlayer::Play() {
    if (!m_schedule || m_plan.steps.empty())
        return;
    if (m_bPlaying) {
        if (!IsPaused())
            return;
        m_schedule->Resume(Now());
        emit Resumed();
        if (m_awaiting == Awaiting::Nothing)
            Arm();
        return;
    }
    m_schedule = std::make_unique<scenario::CSchedule>(m_plan, m_bLoop);
    m_nFailedExpects = 0;
    m_bPlaying = true;
    m_schedule->Start(Now());
    Arm();
}

void CScenarioPlayer::Pause(const QString& reason) {
    if (!m_bPlaying || IsPaused())
        return;
    m_schedule->Pause(Now());
    m_due.stop();
    emit Paused(reason);
}

void CScenarioPlayer::Stop() {
    if (m_bPlaying)
        End(PlayOutcome::Stopped);
}

const scenario::Step& CScenarioPlayer::CurrentStep() const {
    return m_plan.steps[m_schedule->Current().step];
}

// The next action runs when it is due on the scenario's clock: a timer
// that fires early is armed again for what is left.
void CScenarioPlayer::Arm() {
    if (!m_bPlaying || IsPaused())
        return;
    m_due.start(int(std::min<int64_t>(m_schedule->WaitMs(Now()), 1'000'000'000)));
}

void CScenarioPlayer::OnDue() {
    if (!m_bPlaying || IsPaused() || m_awaiting != Awaiting::Nothing)
        return;
    if (m_schedule->WaitMs(Now()) > 0) {
        Arm();
        return;
    }
    const scenario::Action action = m_schedule->Current();
    if (action.step >= m_plan.steps.size()) {
        End(PlayOutcome::Completed);
        return;
    }
    if (action.first)
        emit StepStarted(int(action.step), m_schedule->ElapsedMs(Now()));
    if (m_bPlaying)
        Begin(action);
}

void CScenarioPlayer::Begin(const scenario::Action& action) {
    using scenario::StepKind;
    const scenario::Step& step = CurrentStep();
    switch (step.kind) {
    case StepKind::Level:
    case StepKind::Ramp:
        Await(Awaiting::LevelAck, tr("the device did not acknowledge level %1 within %2 s")
                                      .arg(action.level)
                                      .arg(m_nTimeoutMs / 1000.0));
        m_session.SendLevel(static_cast<uint8_t>(action.level));
        return;
    case StepKind::Mode: {
        const Modes m = m_session.CurrentModes();
        const bool now[] = {m.dynamic, m.quiet, m.warnings};
        if (now[int(step.mode)] == step.on)
            break;
        Await(Awaiting::KeyAck, tr("the device did not acknowledge the %1 key within %2 s")
                                    .arg(QString::fromLatin1(scenario::ModeWord(step.mode)))
                                    .arg(m_nTimeoutMs / 1000.0));
        m_session.SetMode(static_cast<Mode>(step.mode), step.on);
        return;
    }
    case StepKind::Key:
        Await(Awaiting::KeyAck, tr("the device did not acknowledge the %1 key within %2 s")
                                    .arg(QString::fromLatin1(scenario::KeyWord(step.key)))
                                    .arg(m_nTimeoutMs / 1000.0));
        m_session.PressKey(static_cast<Key>(step.key));
        return;
    case StepKind::Instances:
        // The instances not named keep what the device reports.
        if (m_session.Instances()) {
            SendInstances(*m_session.Instances());
        } else {
            Await(Awaiting::InstanceReport,
                  tr("the device sent no instance report within %1 s").arg(m_nTimeoutMs / 1000.0));
        }
        return;
    case StepKind::ExpectText:
    case StepKind::ExpectLevel:
        // Judged on the next broadcast: what the panel shows once the
        // commands before it have reached the device.
        Await(Awaiting::Broadcast, {});
        return;
    case StepKind::Wait:
        break;
    }
    ActionDone();
}

void CScenarioPlayer::Await(Awaiting what, const QString& timeoutMessage) {
    m_awaiting = what;
    m_timeoutMessage = timeoutMessage;
    m_timeout.start(m_nTimeoutMs);
}

void CScenarioPlayer::ActionDone() {
    m_awaiting = Awaiting::Nothing;
    m_timeout.stop();
    const size_t step = m_schedule->Current().step;
    m_schedule->Advance();
    if (m_schedule->Current().first || m_schedule->Finished())
        emit StepFinished(int(step));
    Arm();
}

void CScenarioPlayer::End(PlayOutcome outcome, const QString& message) {
    m_bPlaying = false;
    m_awaiting = Awaiting::Nothing;
    m_due.stop();
    m_timeout.stop();
    emit Finished(outcome, message);
}

// As the About box's Confirm sends them: an instance the device reports
// above 15 goes out as 255, which keeps it.
void CScenarioPlayer::SendInstances(const proto::InstanceReport& report) {
    m_instanceLine = device::NewInstanceLine(report, CurrentStep().instances);
    Await(Awaiting::InstancesTaken,
          tr("the device did not take the new instances within %1 s").arg(m_nTimeoutMs / 1000.0));
    m_session.SendInstances(m_instanceLine);
}

void CScenarioPlayer::OnInstancesReported(const proto::InstanceReport& report) {
    if (m_awaiting == Awaiting::InstanceReport) {
        SendInstances(report);
        return;
    }
    if (m_awaiting != Awaiting::InstancesTaken)
        return;
    if (device::InstancesTaken(report, CurrentStep().instances, m_instanceLine))
        ActionDone();
}

// What an expect step wants to see: a level, or a read-out's or text box's
// text.
QString CScenarioPlayer::Expected() const {
    const scenario::Step& step = CurrentStep();
    return step.kind == scenario::StepKind::ExpectLevel ? QString::number(step.level)
                                                        : QString::fromStdString(step.expected);
}

void CScenarioPlayer::OnLevelReported(const LevelStatus& status) {
    if (m_awaiting != Awaiting::Broadcast)
        return;
    const scenario::Step& step = CurrentStep();
    const QString expected = Expected();
    const QString shown =
        step.kind == scenario::StepKind::ExpectLevel
            ? QString::number(status.level)
            : panel::FieldShown(panel::SnapshotAt(status.level, status.modes.warnings), *step.entry)
                  ->text;
    if (shown != expected) {
        ++m_nFailedExpects;
        emit ExpectFailed(int(m_schedule->Current().step), expected, shown);
    }
    if (m_bPlaying)
        ActionDone();
}

void CScenarioPlayer::OnTimeout() {
    if (m_awaiting == Awaiting::Broadcast) {
        ++m_nFailedExpects;
        emit ExpectFailed(int(m_schedule->Current().step), Expected(),
                          tr("no level broadcast within %1 s").arg(m_nTimeoutMs / 1000.0));
        if (m_bPlaying)
            ActionDone();
        return;
    }
    if (m_awaiting != Awaiting::Nothing)
        End(PlayOutcome::NoAcknowledgement, m_timeoutMessage);
}

} // namespace session
