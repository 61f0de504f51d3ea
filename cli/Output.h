#pragma once
// Where brendlowctl's output goes: data on stdout, flushed at once so that a
// pipe reader sees each record as it happens; messages on stderr.
#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace cli {

// One of brendlowctl's own texts, translated.
QString Tr(const char* text);

void Print(const QByteArray& bytes);
void Complain(const QString& message);

// An object as compact JSON, with no line end.
QByteArray CompactJson(const QJsonObject& object);

// One line of JSON Lines.
QByteArray JsonLine(const QJsonObject& object);
// One line with the members of `object` and those of `written`, a
// non-empty object CompactJson wrote earlier: a record that repeats large
// members keeps them written once.
QByteArray JsonLine(const QJsonObject& object, const QByteArray& written);

} // namespace cli
