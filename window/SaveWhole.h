#pragma once
// Writing a file the operator asked for, all or nothing.
#include <QByteArray>
#include <QString>

// Writes `bytes` to `path` in place of what was there; returns why it
// failed, or an empty text. A failure leaves the old file alone. `text`
// writes line ends as the system has them.
QString SaveWhole(const QString& path, const QByteArray& bytes, bool text);
