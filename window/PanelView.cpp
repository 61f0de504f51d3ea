#include "window/PanelView.h"

#include "widgets/CiAnalogDisplayX.h"
#include "widgets/DialogTemplate.h"

#include <QAccessible>
#include <QHelpEvent>
#include <QLineEdit>
#include <QToolTip>

CPanelView::CPanelView(const CDialogControls& controls)
    : m_controls(controls), m_shown(panel::ClearedSnapshot()) {}

CiAnalogDisplayX* CPanelView::Readout(int controlId) const {
    return m_controls.ItemAs<CiAnalogDisplayX>(controlId);
}

void CPanelView::SetText(int controlId, const QString& text) const {
    if (auto* edit = m_controls.ItemAs<QLineEdit>(controlId); edit && edit->text() != text)
        edit->setText(text);
}

void CPanelView::Show(panel::PanelSnapshot snapshot) {
    const bool announce = QAccessible::isActive();
    for (const panel::SnapshotEntry& s : snapshot.readouts) {
        const int id = s.entry->controlId;
        if (const panel::PanelEntry* alternate = panel::AlternateOf(*s.entry)) {
            m_controls.Show(id, !s.alternate);
            m_controls.Show(alternate->controlId, s.alternate);
            if (s.alternate) {
                SetText(alternate->controlId, s.text);
                continue;
            }
        }
        CiAnalogDisplayX* readout = Readout(id);
        if (readout == nullptr || readout->Text() == s.text)
            continue;
        readout->SetText(s.text);
        if (announce) {
            QAccessibleValueChangeEvent changed(readout, s.text);
            QAccessible::updateAccessibility(&changed);
        }
    }
    for (const panel::SnapshotEntry& s : snapshot.texts)
        SetText(s.entry->controlId, s.text);
    m_shown = std::move(snapshot);
}

bool CPanelView::ShowDetails(const QObject* watched, const QHelpEvent& event) const {
    for (const panel::PanelEntry& e : panel::kPanelEntries) {
        QWidget* control = m_controls.Item(e.controlId);
        if (control != watched)
            continue;
        QToolTip::showText(event.globalPos(), panel::DetailText(e, m_shown), control);
        return true;
    }
    return false;
}
