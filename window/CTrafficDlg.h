#pragma once
// The traffic monitor: a window beside the terminal's that lists every line
// sent to the device and received from it while the window is open, with
// what became of each received line. It listens to the session only while
// shown, so a closed monitor costs the receive path nothing.
//
// Lines are collected as they come and reach the list once a frame, so a
// flood of broadcasts costs one repaint per frame, not one per line.
#include "session/TrafficLog.h"

#include <QDialog>
#include <QMetaObject>
#include <QTimer>

class QCheckBox;
class QLabel;
class QPushButton;
class QTableView;
class CTrafficModel;

namespace session {
class CDeviceSession;
}

class CTrafficDlg : public QDialog {
    Q_OBJECT
public:
    // How long lines wait before they reach the list: four updates a second
    // read as live, and each update repaints the whole list as it scrolls, so
    // an open monitor costs a quarter of what twenty updates a second did.
    static constexpr int kFrameMs = 250;

    CTrafficDlg(session::CDeviceSession& session, QWidget* parent = nullptr);
    ~CTrafficDlg() override;

    // The lines the list is drawn from (the filter picks its rows).
    const session::CTrafficLog& Log() const { return m_log; }
    // Lines that came since the last frame, or while paused.
    int WaitingLines() const { return m_waiting.Size(); }

    session::TrafficFilter Filter() const;
    void SetFilter(const session::TrafficFilter& filter);
    bool IsPaused() const;
    void SetPaused(bool paused);
    // Lets every line go, those waiting included.
    void Clear();
    // Writes the lines the list shows, one FormatLine each; returns why it
    // failed, or an empty text.
    QString SaveTo(const QString& path) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void OnTraffic(const session::TrafficLine& line);
    // Moves the waiting lines into the log and the list, in one batch.
    void Flush();
    void OnFilterChanged();
    void OnSave();
    void UpdateStatus();
    static QString StatusText(int shown, int kept, int waiting, bool paused);

    session::CDeviceSession& m_session;
    QMetaObject::Connection m_listening;
    session::CTrafficLog m_log;
    // Bounded like the log: after a long pause only the newest lines are
    // worth showing, and they would push the older ones out anyway.
    session::CTrafficLog m_waiting;
    QTimer m_frame;
    CTrafficModel* m_model = nullptr;
    QTableView* m_view = nullptr;
    QCheckBox* m_sent = nullptr;
    QCheckBox* m_received = nullptr;
    QCheckBox* m_broadcasts = nullptr;
    QCheckBox* m_problems = nullptr;
    QPushButton* m_pause = nullptr;
    QLabel* m_status = nullptr;
};
