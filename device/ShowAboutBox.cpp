// The main window's About command and the device-instance line it may send.
#include "CAboutDlg.h"
#include "CTerminalDlg.h"
#include "InstanceManagement.h"
#include "Reports.h"

void CTerminalDlg::ShowAboutBox() {
    CAboutDlg about(m_messages, m_hIcon, this);
    if (m_bDeviceIdentified) {
        about.m_strProductId = QString::fromStdString(proto::ProductName(m_nProductCode));
        about.m_strFirmwareVersion =
            QString::fromStdString(proto::FirmwareVersionText(m_nFirmwareVersion));
        about.m_dwSerialNumber = m_dwSerialNumber;
        const std::pair<const QString*, QString*> instances[] = {
            {&m_strEngineInstance, &about.m_strEngineInstance},
            {&m_strFuelLevelInstance, &about.m_strFuelLevelInstance},
            {&m_strBatteryInstance, &about.m_strBatteryInstance},
            {&m_strExhaustGasTempInstance, &about.m_strExhaustGasTempInstance},
            {&m_strTransmissionInstance, &about.m_strTransmissionInstance},
            {&m_strWasteWaterInstance, &about.m_strWasteWaterInstance},
            {&m_strRudderInstance, &about.m_strRudderInstance},
            {&m_strBlackWaterInstance, &about.m_strBlackWaterInstance},
        };
        for (const auto& [mine, theirs] : instances)
            if (*mine != QLatin1String("N/A"))
                *theirs = *mine;
    } else {
        about.m_strProductId = QStringLiteral("Not Found Yet!");
        about.m_strFirmwareVersion = QStringLiteral("Not Found Yet!");
        about.m_dwSerialNumber = 0;
    }
    // No other message box opens over the About box.
    ++m_nMessageDepth;
    const int result = about.DoModal();
    --m_nMessageDepth;
    if (result == CAboutDlg::kResultOk && about.m_bConfirmUpdate)
        SendDeviceInstances(about.InstanceTexts());
}

void CTerminalDlg::SendDeviceInstances(const std::array<QString, 8>& instanceTexts) {
    std::array<QByteArray, 8> latin;
    std::array<std::string_view, 8> texts;
    for (size_t i = 0; i < texts.size(); ++i) {
        latin[i] = instanceTexts[i].toLatin1();
        texts[i] = std::string_view(latin[i].constData(), static_cast<size_t>(latin[i].size()));
    }
    const proto::CommandLine line = device::DeviceInstanceLine(texts);
    SendCommandLine(line.bytes.data(), line.length);
}
