#include "cli/InstancesCommand.h"

#include "cli/Output.h"
#include "cli/RecordJson.h"
#include "core/InstanceManagement.h"

namespace cli {

uint8_t InstanceFromText(const QString& text) {
    const QByteArray latin = text.toLatin1();
    return device::InstanceFromText(std::string_view(latin.constData(), size_t(latin.size())));
}

device::GivenInstances GivenInstances(const QStringList& assignments) {
    device::GivenInstances given;
    for (const QString& assignment : assignments) {
        const QString name = assignment.section('=', 0, 0);
        for (size_t i = 0; i < device::kInstanceFields.size(); ++i)
            if (name == QLatin1String(device::kInstanceFields[i].name))
                given[i] = InstanceFromText(assignment.section('=', 1));
    }
    return given;
}

namespace {

class CInstances final : public CCommand {
public:
    using CCommand::CCommand;

    void Start(const session::DeviceIdentity&) override {
        const Request& request = m_tool.GetRequest();
        m_given = GivenInstances(request.arguments);
        // The instances not named keep what the device reports, so the
        // line waits for a report.
        connect(&m_tool.Session(), &session::CDeviceSession::InstancesReported, this,
                &CInstances::OnReport);
        m_tool.Expect(request.timeout, kExitNoAnswer,
                      tr("the device sent no instance report within %1 s").arg(request.timeout));
        if (m_tool.Session().Instances())
            OnReport(*m_tool.Session().Instances());
    }

private:
    void OnReport(const proto::InstanceReport& report) {
        if (m_tool.Finished())
            return;
        const Request& request = m_tool.GetRequest();
        if (!m_bSent) {
            m_line = device::NewInstanceLine(report, m_given);
            m_bSent = true;
            m_tool.Expect(
                request.timeout, kExitNoAcknowledgement,
                tr("the device did not take the new instances within %1 s").arg(request.timeout));
            m_tool.Session().SendInstances(m_line);
            return;
        }
        // The device's next report tells whether it took them; 255 asks
        // for no change, so there is nothing to wait for.
        if (!device::InstancesTaken(report, m_given, m_line))
            return;
        if (m_tool.Output(request.json ? JsonLine(InstancesJson(report))
                                       : InstancesText(report) + '\n'))
            m_tool.Finish(kExitOk);
    }

    device::GivenInstances m_given;
    std::array<uint8_t, 8> m_line{};
    bool m_bSent = false;
};

} // namespace

std::unique_ptr<CCommand> MakeInstances(CControlTool& tool) {
    return std::make_unique<CInstances>(tool);
}

} // namespace cli
