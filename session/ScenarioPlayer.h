#pragma once
// Plays a scenario on a device session. The window and brendlowctl are two
// front ends of this one player: each loads a plan, calls Play, Pause and
// Stop, and shows the signals.
#include "core/Scenario.h"
#include "core/ScenarioSchedule.h"
#include "session/CDeviceSession.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

namespace session {

enum class PlayOutcome {
    Completed,         // every step ran (expects may have failed: FailedExpects)
    Stopped,           // Stop before the end
    NoAcknowledgement, // the device did not take a command within the timeout
};

// What is wrong in a scenario file, in words: `reason` alone, and as
// "FILE:LINE:COLUMN: reason".
QString ScenarioProblemText(const scenario::ParseError& error);
QString ScenarioErrorLine(const QString& file, const scenario::ParseError& error);

// A scenario file read and parsed: its plan when it has no error, else
// what is wrong, one "FILE:LINE:COLUMN: reason" line each (or why it could
// not be read).
struct ScenarioFile {
    std::optional<scenario::Plan> plan;
    QStringList problems;
};
ScenarioFile ReadScenarioFile(const QString& path);

class CScenarioPlayer : public QObject {
    Q_OBJECT
public:
    // Milliseconds of a steady clock.
    using Clock = std::function<int64_t()>;

    // Without a clock the player runs on the steady clock.
    explicit CScenarioPlayer(CDeviceSession& session, Clock clock = {}, QObject* parent = nullptr);
    ~CScenarioPlayer() override;

    // A plan that parsed without errors; replaces any plan loaded before
    // and stops a run of it. With `loop` it plays again from the top at
    // the end of each pass, each pass `PassMs` after the one before.
    void Load(scenario::Plan plan, bool loop);
    // Whether the next Play loops; the plan stays as it is.
    void SetLoop(bool loop) { m_bLoop = loop; }
    // How long a command may wait for the device's acknowledgement, and an
    // expect for the next level broadcast.
    void SetAcknowledgementTimeout(int ms) { m_nTimeoutMs = ms; }

    const scenario::Plan& GetPlan() const { return m_plan; }
    bool IsPlaying() const { return m_bPlaying; }
    bool IsPaused() const { return m_schedule && m_schedule->IsPaused(); }
    int FailedExpects() const { return m_nFailedExpects; }
    int64_t PassMs() const { return m_schedule ? m_schedule->PassMs() : 0; }
    int64_t ElapsedMs() const;
    // Where a step starts in a pass, from the scenario's start.
    int64_t StepStartMs(int step) const;

public slots:
    // Starts from the top, or goes on after Pause.
    void Play();
    // Stops sending until Play; a command already sent is still waited for.
    void Pause(const QString& reason = {});
    // Ends the run between two command lines.
    void Stop();

signals:
    // `elapsedMs` from the scenario's start, paused time not counted.
    void StepStarted(int step, qint64 elapsedMs);
    void StepFinished(int step);
    void ExpectFailed(int step, const QString& expected, const QString& shown);
    void Paused(const QString& reason);
    void Resumed();
    // The run is over; `message` says which command went unacknowledged.
    void Finished(session::PlayOutcome outcome, const QString& message);

private:
    // What the current action waits for from the device.
    enum class Awaiting { Nothing, LevelAck, KeyAck, InstanceReport, InstancesTaken, Broadcast };

    int64_t Now() const { return m_clock(); }
    void Arm();
    void OnDue();
    void Begin(const scenario::Action& action);
    void Await(Awaiting what, const QString& timeoutMessage);
    void ActionDone();
    void End(PlayOutcome outcome, const QString& message = {});
    void SendInstances(const proto::InstanceReport& report);
    void OnLevelReported(const LevelStatus& status);
    void OnInstancesReported(const proto::InstanceReport& report);
    void OnTimeout();
    const scenario::Step& CurrentStep() const;
    QString Expected() const;

    CDeviceSession& m_session;
    Clock m_clock;
    scenario::Plan m_plan;
    bool m_bLoop = false;
    std::unique_ptr<scenario::CSchedule> m_schedule;
    QTimer m_due;
    QTimer m_timeout;
    int m_nTimeoutMs = 5000;
    Awaiting m_awaiting = Awaiting::Nothing;
    QString m_timeoutMessage;
    std::array<uint8_t, 8> m_instanceLine{};
    bool m_bPlaying = false;
    int m_nFailedExpects = 0;
};

} // namespace session
