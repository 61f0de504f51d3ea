#pragma once
// The instrument panel on the main window: draws a snapshot of the panel's
// texts into the read-outs, the alternate text boxes and the status text
// boxes, keeps the snapshot it shows, and explains each of them when hovered.
#include "session/PanelSnapshot.h"

#include <vector>

class CDialogControls;
class CiAnalogDisplayX;
class QHelpEvent;
class QLineEdit;
class QObject;

class CPanelView {
public:
    // On the window's controls, built already.
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
    static void SetText(QLineEdit* edit, const QString& text);

    const CDialogControls& m_controls;
    // The controls of the snapshot's entries, in its order, looked up once:
    // the panel is drawn up to 30 times a second.
    std::vector<CiAnalogDisplayX*> m_readouts;
    std::vector<QLineEdit*> m_alternates; // beside m_readouts; nullptr where none
    std::vector<QLineEdit*> m_texts;
    panel::PanelSnapshot m_shown;
};
