#include "cli/PortsCommand.h"

#include "cli/Output.h"
#include "session/PortMap.h"

namespace cli {

namespace {

// A path with bytes that are not UTF-8 comes with each such byte replaced
// by U+FFFD, as Qt decodes file names: the JSON stays valid UTF-8, at the
// price of not naming that file exactly.
QJsonValue PathJson(const QString& path) {
    return path.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(path);
}

} // namespace

int RunPorts(const Request& request, const QString& dataFolder) {
    for (const QString& a : request.assign) {
        const int n = ports::PortNumberFromName(a.section('=', 0, 0));
        if (const QString error = ports::Assign(n, a.section('=', 1), dataFolder);
            !error.isEmpty()) {
            Complain(error);
            return kExitCannotOpen;
        }
    }
    for (const QString& r : request.remove) {
        if (const QString error = ports::Remove(ports::PortNumberFromName(r), dataFolder);
            !error.isEmpty()) {
            Complain(error);
            return kExitCannotOpen;
        }
    }
    QByteArray out;
    if (!request.json)
        out += Tr("Ports (what COM1..COM30 open here):\n").toUtf8();
    const QStringList names = ports::PortNames();
    for (int n = 1; n <= ports::kPortCount; ++n) {
        const QString description = ports::Describe(n, dataFolder);
        if (request.json)
            out += JsonLine({{"port", names[n - 1]},
                             {"opens", PathJson(ports::Resolve(n, dataFolder).path)},
                             {"description", description}});
        else
            out += description.toUtf8() + '\n';
    }
    const QList<ports::SystemPort> system = ports::SystemPorts();
    if (!request.json)
        out += Tr("\nSystem serial ports (name, path, description, manufacturer, serial number, "
                  "stable name):\n")
                   .toUtf8() +
               (system.isEmpty() ? Tr("none\n").toUtf8() : QByteArray());
    for (const ports::SystemPort& p : system) {
        if (request.json)
            out += JsonLine({{"system", p.name},
                             {"path", p.path},
                             {"description", p.description},
                             {"manufacturer", p.manufacturer},
                             {"serialNumber", p.serialNumber},
                             {"byId", p.byIdPath}});
        else
            out +=
                QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6\n")
                    .arg(p.name, p.path, p.description, p.manufacturer, p.serialNumber, p.byIdPath)
                    .toUtf8();
    }
    return Print(out) ? kExitOk : kExitOutput;
}

} // namespace cli
