#pragma once
// The instrument panel on the main window: draws a snapshot of the panel's
// texts into the read-outs, the alternate text boxes and the status text
// boxes, keeps the snapshot it shows, and explains each of them when hovered.
#include "session/PanelSnapshot.h"

class CDialogControls;
class CiAnalogDisplayX;
class QHelpEvent;
class QObject;

class CPanelView {
public:
    explicit CPanelView(const CDialogControls& controls);

    // Shows the snapshot; a read-out hidden behind its alternate text keeps
    // its old text.
    void Show(panel::PanelSnapshot snapshot);
    // What the panel shows now; the cleared panel before any level.
    const panel::PanelSnapshot& Shown() const { return m_shown; }

    CiAnalogDisplayX* Readout(int controlId) const;
    // The tooltip of a panel control: what it stands for on the bus, with the
    // raw value now shown. False when `watched` is no panel control.
    bool ShowDetails(const QObject* watched, const QHelpEvent& event) const;

private:
    void SetText(int controlId, const QString& text) const;

    const CDialogControls& m_controls;
    panel::PanelSnapshot m_shown;
};
