#include "window/PanelView.h"

#include "widgets/CiAnalogDisplayX.h"
#include "widgets/DialogTemplate.h"

#include <QAccessible>
#include <QHelpEvent>
#include <QLineEdit>
#include <QToolTip>

CPanelView::CPanelView(const CDialogControls& controls)
    : m_controls(controls), m_shown(panel::ClearedSnapshot()) {
    for (const panel::SnapshotEntry& s : m_shown.readouts) {
        m_readouts.push_back(Readout(s.entry->controlId));
        const panel::PanelEntry* alternate = panel::AlternateOf(*s.entry);
        m_alternates.push_back(alternate ? controls.ItemAs<QLineEdit>(alternate->controlId)
                                         : nullptr);
    }
    for (const panel::SnapshotEntry& s : m_shown.texts)
        m_texts.push_back(controls.ItemAs<QLineEdit>(s.entry->controlId));
}

CiAnalogDisplayX* CPanelView::Readout(int controlId) const {
    return m_controls.ItemAs<CiAnalogDisplayX>(controlId);
}

void CPanelView::SetText(QLineEdit* edit, const QString& text) {
    if (edit && edit->text() != text)
        edit->setText(text);
}

void CPanelView::Show(panel::PanelSnapshot snapshot) {
    const bool announce = QAccessible::isActive();
    for (size_t i = 0; i < snapshot.readouts.size(); ++i) {
        const panel::SnapshotEntry& s = snapshot.readouts[i];
        CiAnalogDisplayX* readout = m_readouts[i];
        if (readout == nullptr)
            continue;
        if (QLineEdit* alternate = m_alternates[i]) {
            readout->setVisible(!s.alternate);
            alternate->setVisible(s.alternate);
            if (s.alternate) {
                SetText(alternate, s.text);
                continue;
            }
        }
        if (readout->Text() == s.text)
            continue;
        readout->SetText(s.text);
        if (announce) {
            QAccessibleValueChangeEvent changed(readout, s.text);
            QAccessible::updateAccessibility(&changed);
        }
    }
    for (size_t i = 0; i < snapshot.texts.size(); ++i)
        SetText(m_texts[i], snapshot.texts[i].text);
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
