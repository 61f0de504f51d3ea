#pragma once
// The About box: the terminal's name and version, the connected device's
// identification as the main window knew it at the moment of opening, and
// the change of the device's eight NMEA 2000 device instances.
#include "widgets/DialogTemplate.h"

#include <QDialog>
#include <QString>
#include <array>

class CMessageSink;

namespace aboutids {
inline constexpr int kOk = 1;
inline constexpr int kProductId = 1003;
inline constexpr int kFirmwareVersion = 1004;
inline constexpr int kSerialNumber = 1005;
inline constexpr int kProceed = 1043;
inline constexpr int kConfirm = 1049;
// Instance combos and their caption boxes, in line order.
inline constexpr std::array<int, 8> kCombos = {1037, 1038, 1039, 1040, 1044, 1045, 1046, 1048};
inline constexpr std::array<int, 8> kBoxes = {1041, 1022, 1024, 1042, 1026, 1023, 1032, 1047};
} // namespace aboutids

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    enum Result { kResultOk = 1, kResultCancel = 2, kResultFailed = -1 };

    CAboutDlg(CMessageSink* messages, const QIcon& icon, QWidget* parent = nullptr);

    static DialogTemplate Template();

    // Runs the box modally: fills the controls from the members first.
    // Returns 1 for OK or Confirm, 2 for Escape or the close box.
    int DoModal();

    void OnProceedChangeInstance();
    void OnConfirmUpdateInstance();
    void OnOK();
    void DoDataExchange(bool take);

    const CDialogControls& Controls() const { return m_controls; }

    int m_bConfirmUpdate = 0;
    QString m_strFirmwareVersion;
    QString m_strProductId;
    uint32_t m_dwSerialNumber = 0;
    // The eight instance texts in line order, beside aboutids::kCombos.
    std::array<QString, 8> m_strInstances;

private:
    CDialogControls m_controls;
    CMessageSink* m_messages;
};
