#include "PanelSnapshot.h"

#include "ParameterModel.h"

namespace panel {

namespace {

QString FromStd(const std::string& s) {
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace

QString FormatReadout(double value, int decimals, const QString& unit) {
    QString number = QString::number(value, 'f', decimals);
    if (number.startsWith('-')) {
        bool allZero = true;
        for (QChar c : number)
            allZero = allZero && (c == '-' || c == '0' || c == '.');
        if (allZero)
            number.remove(0, 1);
    }
    return number + unit;
}

QString UnitName(const PanelEntry& entry) {
    return QString::fromLatin1(entry.unit).trimmed();
}

PanelSnapshot SnapshotAt(uint8_t level, bool warnings) {
    const RawValues raw = ComputeRawValues(level, warnings);
    const PanelValues v = ScaleRawValues(raw);
    PanelSnapshot s;
    s.readouts.reserve(kReadoutCount);
    size_t next = 0;
    for (const PanelEntry& e : kPanelEntries) {
        if (e.kind == PanelKind::AlternateText)
            continue;
        const int64_t rawValue = e.source.raw(raw);
        if (e.kind == PanelKind::StatusText) {
            const std::string* text = nullptr;
            switch (e.controlId) {
            case 1033:
                text = &v.discreteStatus1;
                break;
            case 1036:
                text = &v.discreteStatus2;
                break;
            case 1034:
                text = &v.transWarning;
                break;
            case 1038:
                text = &v.rudderDirOrder;
                break;
            default:
                text = &v.cogReference;
                break;
            }
            s.texts.push_back({&e, FromStd(*text), double(rawValue), rawValue, false});
            continue;
        }
        const double value = v.readouts.at(next++).value;
        const bool depth = e.controlId == 1074 && v.depthRangeAlternate;
        const bool rudder = e.controlId == 1071 && v.rudderAngleAlternate;
        const QString text = depth ? FromStd(v.depthRangeText)
                             : rudder
                                 ? FromStd(v.rudderAngleText)
                                 : FormatReadout(value, e.decimals, QString::fromLatin1(e.unit));
        s.readouts.push_back({&e, text, value, rawValue, depth || rudder});
    }
    return s;
}

} // namespace panel

namespace panel {

QString DetailText(const PanelEntry& e, const SnapshotEntry* shown) {
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

QString CopyText(const std::function<QString(int)>& shown, const PanelSnapshot* snapshot) {
    QString text = QStringLiteral("Caption\tShown\tValue\tUnit\tPGN\tRaw\n");
    size_t next = 0;
    for (const PanelEntry& e : kPanelEntries) {
        if (e.kind != PanelKind::Readout)
            continue;
        const SnapshotEntry* s = snapshot ? &snapshot->readouts.at(next) : nullptr;
        ++next;
        text += QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6\n")
                    .arg(QString::fromLatin1(e.caption), shown(e.controlId),
                         s ? QString::number(s->value, 'g', 15) : QString(), UnitName(e))
                    .arg(e.source.pgn)
                    .arg(s ? QString::number(s->raw) : QString());
    }
    for (const PanelEntry& e : kPanelEntries)
        if (e.kind == PanelKind::StatusText)
            text +=
                QStringLiteral("%1\t%2\n").arg(QString::fromLatin1(e.caption), shown(e.controlId));
    return text;
}

} // namespace panel
