#include "session/PanelSnapshot.h"

#include "core/ParameterModel.h"
#include "session/Latin1.h"

namespace panel {

QString ReadoutNumber(double value, int decimals) {
    QString number = QString::number(value, 'f', decimals);
    if (number.startsWith('-')) {
        bool allZero = true;
        for (QChar c : number)
            allZero = allZero && (c == '-' || c == '0' || c == '.');
        if (allZero)
            number.remove(0, 1);
    }
    return number;
}

QString FormatReadout(double value, int decimals, const QString& unit) {
    return ReadoutNumber(value, decimals) + unit;
}

QString UnitName(const PanelEntry& entry) {
    return QString::fromLatin1(entry.unit).trimmed();
}

QString NotApplicableText() {
    return QStringLiteral("Not Applicable");
}

PanelSnapshot SnapshotAt(uint8_t level, bool warnings) {
    const RawValues raw = ComputeRawValues(level, warnings);
    const PanelValues v = ScaleRawValues(raw);
    PanelSnapshot s;
    s.level = level;
    s.warnings = warnings;
    s.readouts.reserve(kReadoutCount);
    s.texts.reserve(kStatusTextCount);
    for (const PanelEntry& e : kPanelEntries) {
        const int64_t field = e.source.raw(raw);
        if (e.kind == PanelKind::StatusText) {
            s.texts.push_back(
                {&e, text::FromStd(v.statusTexts.at(s.texts.size())), double(field), field, false});
        } else if (e.kind == PanelKind::Readout) {
            const ReadoutSetting& r = v.readouts.at(s.readouts.size());
            const QString text =
                r.alternate ? QString::fromLatin1(r.alternate)
                            : FormatReadout(r.value, e.decimals, QString::fromLatin1(e.unit));
            s.readouts.push_back({&e, text, r.value, field, r.alternate != nullptr});
        }
    }
    return s;
}

PanelSnapshot ClearedSnapshot() {
    PanelSnapshot s;
    for (const PanelEntry& e : kPanelEntries) {
        if (e.kind == PanelKind::StatusText)
            s.texts.push_back({&e, NotApplicableText(), 0.0, 0, false});
        else if (e.kind == PanelKind::Readout)
            s.readouts.push_back(
                {&e, FormatReadout(0.0, e.decimals, QString::fromLatin1(e.unit)), 0.0, 0, false});
    }
    return s;
}

const SnapshotEntry* FieldShown(const PanelSnapshot& snapshot, const PanelEntry& entry) {
    if (!snapshot.level)
        return nullptr;
    const PanelEntry* field =
        entry.kind == PanelKind::AlternateText ? FindPanelEntry(entry.partner) : &entry;
    for (const auto* list : {&snapshot.readouts, &snapshot.texts})
        for (const SnapshotEntry& s : *list)
            if (s.entry == field)
                return &s;
    return nullptr;
}

QString DetailText(const PanelEntry& entry, const PanelSnapshot& snapshot) {
    const SnapshotEntry* shown = FieldShown(snapshot, entry);
    const PanelEntry& e = shown ? *shown->entry : entry;
    const FieldSource& f = e.source;
    QString text = QStringLiteral("PGN %1 %2\nField: %3")
                       .arg(f.pgn)
                       .arg(QString::fromLatin1(PgnName(f.pgn)), QString::fromLatin1(f.field));
    if (shown != nullptr) {
        const qlonglong raw = shown->raw;
        text += QStringLiteral("\nRaw: %1 (%2%3)")
                    .arg(raw)
                    .arg(raw < 0 ? "-0x" : "0x")
                    .arg(QString::number(raw < 0 ? -raw : raw, 16).toUpper());
    } else {
        text += QStringLiteral("\nRaw: no level shown yet");
    }
    if (e.kind == PanelKind::StatusText)
        text += QStringLiteral("\nShown as its bits, most significant first");
    else
        text += QStringLiteral("\nResolution: ") +
                QStringLiteral("%1 %2")
                    .arg(QString::number(f.resolution, 'g', 10), QString::fromUtf8(f.unit))
                    .trimmed();
    return text;
}

QString CopyText(const PanelSnapshot& shown) {
    QString text = QStringLiteral("Caption\tShown\tValue\tUnit\tPGN\tRaw\n");
    for (const SnapshotEntry& s : shown.readouts) {
        const PanelEntry& e = *s.entry;
        text += QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6\n")
                    .arg(QString::fromLatin1(e.caption), s.text,
                         shown.level ? ReadoutNumber(s.value, e.decimals) : QString(), UnitName(e))
                    .arg(e.source.pgn)
                    .arg(shown.level ? QString::number(s.raw) : QString());
    }
    for (const SnapshotEntry& s : shown.texts)
        text += QStringLiteral("%1\t%2\n").arg(QString::fromLatin1(s.entry->caption), s.text);
    return text;
}

} // namespace panel
