#pragma once
// The scenario player's list of steps: each row made when the view asks for
// it, so that a file whose repeats make a million steps costs no more than
// its plan. The running step is marked.
#include "session/ScenarioPlayer.h"

#include <QAbstractListModel>

class CScenarioStepsModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit CScenarioStepsModel(const session::CScenarioPlayer& player, QObject* parent = nullptr);

    // The player's plan changed: every row anew, none running.
    void Reset();
    // The step running now, or -1.
    void SetRunning(int step);
    int Running() const { return m_running; }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    const session::CScenarioPlayer& m_player;
    int m_running = -1;
};
