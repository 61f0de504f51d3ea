// brendlowctl: drives and reads the simulator device from scripts and test
// rigs, on the same device session as the terminal's window.
#include "can/CanDevice.h"
#include "cli/ControlTool.h"
#include "cli/Options.h"
#include "cli/Output.h"
#include "session/PortMap.h"
#include "session/SystemSerialBackend.h"

#include <QCoreApplication>

int main(int argc, char* argv[]) {
    cli::HoldClosedStandardStreams();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("brendlowctl"));
    can::PrepareProcess();
    cli::ParsedLine parsed = cli::ParseCommandLine(QCoreApplication::arguments());
    if (parsed.exitCode >= 0)
        return parsed.exitCode;
    // Only now: finding the data folder may create the per-user one.
    const QString dataFolder = ports::DataFolder(QCoreApplication::applicationDirPath());
    // A command that runs alone may hand over to the device (-1).
    if (parsed.command->runAlone != nullptr) {
        const int code = parsed.command->runAlone(parsed.request, dataFolder);
        if (code >= 0 || parsed.command->make == nullptr)
            return code;
    }
    if (const int code = cli::ChoosePort(parsed, dataFolder); code >= 0)
        return code;
    cli::CControlTool tool(parsed.request,
                           CreateSystemSerialBackend(dataFolder, parsed.request.portPath));
    return tool.Run(parsed.command->make);
}
