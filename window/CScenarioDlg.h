#pragma once
// The scenario player in the window: a file's steps with the running one
// marked, Play, Pause and Stop, the time gone and to go, and the expects that
// failed. The session's player runs the scenario; this is its view, as
// `brendlowctl play` is its other one.
#include "session/ScenarioPlayer.h"

#include <QDialog>
#include <QTimer>

class CScenarioStepsModel;
class QLabel;
class QListView;
class QListWidget;
class QProgressBar;
class QPushButton;

class CScenarioDlg : public QDialog {
    Q_OBJECT
public:
    CScenarioDlg(session::CDeviceSession& session, QWidget* parent = nullptr);

    // Reads and shows a file; one with any error is listed and cannot play.
    bool Load(const QString& path);
    // The operator moved the slider or pressed a key: a playing scenario
    // pauses rather than fight the person over the device.
    void OperatorActed(const QString& what);

    session::CScenarioPlayer& Player() { return m_player; }

protected:
    // Closing the player stops its scenario: nothing plays unseen.
    void closeEvent(QCloseEvent* event) override;

private:
    void Open();
    void OnStepStarted(int step, qint64 elapsedMs);
    void OnExpectFailed(int step, const QString& expected, const QString& shown);
    void OnFinished(session::PlayOutcome outcome, const QString& message);
    void ShowTimes();
    void EnableButtons();
    void SetStatus(const QString& text);

    session::CDeviceSession& m_session;
    session::CScenarioPlayer m_player;
    QString m_path; // the file loaded, empty when none can play
    QPushButton* m_open;
    QLabel* m_file;
    CScenarioStepsModel* m_stepsModel;
    QListView* m_steps;
    QPushButton* m_play;
    QPushButton* m_pause;
    QPushButton* m_stop;
    QProgressBar* m_progress;
    QLabel* m_times;
    QLabel* m_status;
    QListWidget* m_failures;
    // The time shown moves four times a second while a scenario plays.
    QTimer m_clock;
};
