#include "cli/Output.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <cstdio>

namespace cli {

QString Tr(const char* text) {
    return QCoreApplication::translate("brendlowctl", text);
}

void Print(const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void Complain(const QString& message) {
    std::fprintf(stderr, "brendlowctl: %s\n", message.toLocal8Bit().constData());
}

QByteArray CompactJson(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray JsonLine(const QJsonObject& object) {
    return CompactJson(object) + '\n';
}

QByteArray JsonLine(const QJsonObject& object, const QByteArray& written) {
    if (object.isEmpty())
        return written + '\n';
    // "{a}" and "{b}" make "{a,b}".
    QByteArray line = CompactJson(object);
    line.back() = ',';
    line.append(QByteArrayView(written).sliced(1));
    return line + '\n';
}

} // namespace cli
