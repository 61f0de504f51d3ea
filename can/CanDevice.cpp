#include "can/CanDevice.h"

#include <QCanBus>
#include <QCoreApplication>
#include <QLoggingCategory>

#include <algorithm>

namespace can {

namespace {

QString Tr(const char* text) {
    return QCoreApplication::translate("can", text);
}

} // namespace

void PrepareProcess() {
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", ":/etc/localtime");
    QLoggingCategory::setFilterRules(QStringLiteral("qt.canbus*.info=false\n"
                                                    "qt.canbus.plugins.socketcan.warning=false"));
}

std::optional<CanName> SplitCanName(const QString& text) {
    const qsizetype colon = text.indexOf(u':');
    if (colon <= 0 || colon + 1 == text.size())
        return std::nullopt;
    return CanName{text.left(colon), text.mid(colon + 1)};
}

Opened OpenCanDevice(const CanName& name) {
    Opened opened;
    const QStringList plugins = QCanBus::instance()->plugins();
    if (!plugins.contains(name.plugin)) {
        opened.error = Tr("there is no CAN plugin \"%1\"; available: %2")
                           .arg(name.plugin, plugins.join(QStringLiteral(", ")));
        return opened;
    }
    QString error;
    opened.device.reset(QCanBus::instance()->createDevice(name.plugin, name.interface, &error));
    if (opened.device && opened.device->connectDevice())
        return opened;
    if (opened.device)
        error = opened.device->errorString();
    opened.device.reset();
    opened.error = Tr("cannot open the CAN interface %1: %2")
                       .arg(name.Text(), error.isEmpty() ? Tr("no such interface") : error);
    return opened;
}

QCanBusFrame ToQt(const n2k::CanFrame& frame) {
    QCanBusFrame qt(frame.id,
                    QByteArray(reinterpret_cast<const char*>(frame.data.data()), frame.length));
    qt.setExtendedFrameFormat(true); // an identifier below 0x800 would pass for a standard one
    return qt;
}

std::optional<n2k::CanFrame> FromQt(const QCanBusFrame& qt) {
    const QByteArray payload = qt.payload();
    if (qt.frameType() != QCanBusFrame::DataFrame || !qt.hasExtendedFrameFormat() ||
        qt.hasFlexibleDataRateFormat() || payload.size() > 8)
        return std::nullopt;
    n2k::CanFrame frame;
    frame.id = qt.frameId();
    frame.length = static_cast<uint8_t>(payload.size());
    std::copy(payload.begin(), payload.end(), frame.data.begin());
    return frame;
}

} // namespace can
