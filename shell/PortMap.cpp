#include "PortMap.h"
namespace ports {
QStringList PortNames() {
    QStringList names;
    for (int i = 1; i <= kPortCount; ++i)
        names << QStringLiteral("COM%1").arg(i);
    return names;
}
int PortNumberFromName(const QString& name) {
    for (int n = 1; n <= kPortCount; ++n)
        if (name == QStringLiteral("COM%1").arg(n))
            return n;
    return 1;
}
} // namespace ports
