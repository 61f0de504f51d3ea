#pragma once
// Where brendlowctl's output goes: data on stdout, flushed at once so that a
// pipe reader sees each record as it happens; messages on stderr.
#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace cli {

// One of brendlowctl's own texts, translated.
QString Tr(const char* text);

// Before anything opens a file: a standard stream the caller closed gets a
// stand-in that refuses every write, so that no port or file opened later
// takes its number and receives the data, and a write to it fails.
void HoldClosedStandardStreams();

// Writes and flushes; false when stdout did not take all of it (a full disk,
// a closed pipe or stdout), told on stderr the first time.
[[nodiscard]] bool Print(const QByteArray& bytes);
// Flushes stdout; false, told as Print tells it, when anything written so
// far did not get through.
[[nodiscard]] bool FlushOutput();
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
