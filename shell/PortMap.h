#pragma once
#include <QString>
#include <QStringList>
namespace ports {
inline constexpr int kPortCount = 30;
QStringList PortNames();
int PortNumberFromName(const QString& name);
} // namespace ports
