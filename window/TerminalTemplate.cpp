// The main window's template: the left column's groups and controls, then
// the instrument panel from its own table.
#include "core/PanelFields.h"
#include "session/PortMap.h"
#include "window/CTerminalDlg.h"
#include "window/PanelLayout.h"

DialogTemplate CTerminalDlg::Template() {
    using namespace ids;
    DialogTemplate t{102,
                     QStringLiteral("Tessaly Brendlow Remote Terminal V1.00A Build03292013-01"),
                     656,
                     305,
                     {}};
    auto& c = t.controls;

    // Step 1: connect.
    c.push_back(
        {kStaticId, CtlKind::GroupBox, "Step 1: Connect to Tessaly Brendlow", {7, 3, 286, 62}});
    c.push_back({kStaticId, CtlKind::Label, "Port:", {12, 18, 16, 8}});
    CtlSpec portList{kPortList, CtlKind::EditCombo, "", {30, 16, 56, 48}};
    portList.items = ports::PortNames();
    c.push_back(portList);
    c.push_back({kConnect, CtlKind::PushButton, "C&onnect", {94, 16, 58, 12}});
    c.push_back({kDisconnect, CtlKind::PushButton, "D&isconnect", {162, 16, 58, 12}});
    c.push_back({kExit, CtlKind::DefPushButton, "E&xit", {230, 16, 58, 12}});
    c.push_back({kStaticId, CtlKind::GroupBox, "Product ID", {11, 32, 88, 29}});
    c.push_back({kProductId, CtlKind::ReadOnlyEdit, "", {15, 42, 80, 14}});
    c.push_back({kStaticId, CtlKind::GroupBox, "Firmware Version", {106, 32, 88, 29}});
    c.push_back({kFirmwareVersion, CtlKind::ReadOnlyEdit, "", {110, 42, 80, 14}});
    c.push_back({kStaticId, CtlKind::GroupBox, "Product Serial Number", {201, 32, 88, 29}});
    c.push_back({kSerialNumber, CtlKind::ReadOnlyEdit, "", {205, 42, 80, 14}});
    c.push_back({kComm, CtlKind::Component, "", {267, 7, 25, 23}});

    // Step 2: remote control.
    c.push_back({kStaticId,
                 CtlKind::GroupBox,
                 "Step 2: Remote Control Tessaly Brendlow",
                 {7, 66, 286, 62}});
    c.push_back({kSlider, CtlKind::Slider, "", {11, 74, 278, 34}, kStyleDisabled});
    c.push_back({kDynamic, CtlKind::CheckBox, "D&ynamic", {14, 116, 43, 10}, kStyleDisabled});
    c.push_back({kQuiet, CtlKind::CheckBox, "Qui&et", {61, 116, 33, 10}, kStyleDisabled});
    c.push_back({kWarnings, CtlKind::CheckBox, "&Warnings", {101, 116, 46, 10}, kStyleDisabled});
    c.push_back({kMenu, CtlKind::PushButton, "&Menu", {148, 112, 43, 12}, kStyleDisabled});
    c.push_back({kDown, CtlKind::PushButton, "&Down", {196, 112, 43, 12}, kStyleDisabled});
    c.push_back({kUp, CtlKind::PushButton, "&Up", {244, 112, 43, 12}, kStyleDisabled});

    // Source address status.
    c.push_back(
        {kStaticId, CtlKind::GroupBox, "NMEA 2000 Source Address (SA) Status", {7, 129, 286, 40}});
    c.push_back({kEngineSaBox, CtlKind::GroupBox, "Engine SA", {9, 137, 140, 29}});
    c.push_back({kEngineSa, CtlKind::ReadOnlyEdit, "", {13, 148, 132, 14}});
    c.push_back({kTransmissionSaBox,
                 CtlKind::GroupBox,
                 "Transmission SA",
                 {151, 137, 140, 29},
                 kStyleDisabled});
    c.push_back({kTransmissionSa, CtlKind::ReadOnlyEdit, "", {155, 148, 132, 14}, kStyleDisabled});

    // Device instances and sequence id: seven boxes in the first row, two in
    // the second at the row's ends.
    c.push_back({kStaticId,
                 CtlKind::GroupBox,
                 "NMEA 2000 Device Instance && Sequence ID (SID)",
                 {7, 170, 286, 68}});
    struct InstanceBox {
        int boxId;
        const char* caption;
        int editId;
        int column;
        int top;
    };
    const InstanceBox boxes[] = {
        {kStaticId, "Engine", kEngineInstance, 0, 178},
        {kSidBox, "SID", kSid, 1, 178},
        {kFuelLevelBox, "FuelLevel", kFuelLevelInstance, 2, 178},
        {kBatteryBox, "Battery", kBatteryInstance, 3, 178},
        {kExhaustBox, "ExhaustT", kExhaustInstance, 4, 178},
        {kTransmissionBox, "Transm.", kTransmissionInstance, 5, 178},
        {kWasteWaterBox, "W.Water", kWasteWaterInstance, 6, 178},
        {kRudderBox, "Rudder", kRudderInstance, 0, 207},
        {kBlackWaterBox, "B.Water", kBlackWaterInstance, 6, 207},
    };
    for (const InstanceBox& b : boxes) {
        const int x = 11 + 40 * b.column;
        const unsigned style = b.editId == kEngineInstance ? kStyleNone : kStyleDisabled;
        c.push_back(
            {b.boxId, CtlKind::GroupBox, b.caption, {x, b.top, 35, 29}, style | kStyleCentered});
        c.push_back({b.editId, CtlKind::ReadOnlyEdit, "", {x + 4, b.top + 11, 27, 13}, style});
    }

    // The instrument panel.
    for (const panel::PanelGroup& g : panel::kPanelGroups)
        c.push_back({kStaticId, CtlKind::GroupBox, g.caption, g.box, kStyleCentered});
    for (const panel::PanelEntry& e : panel::kPanelEntries) {
        const panel::PanelPlace& place = panel::PlaceOf(e.controlId);
        // An alternate text shares its read-out's caption box.
        if (e.kind != panel::PanelKind::AlternateText)
            c.push_back(
                {kStaticId, CtlKind::GroupBox, e.caption, place.captionBox, kStyleCentered});
        switch (e.kind) {
        case panel::PanelKind::Readout:
            c.push_back({e.controlId, CtlKind::Readout, "", place.control});
            break;
        case panel::PanelKind::StatusText:
            c.push_back({e.controlId, CtlKind::ReadOnlyEdit, "", place.control});
            break;
        case panel::PanelKind::AlternateText:
            // The depth range text shows at creation, the rudder angle text does not.
            c.push_back({e.controlId, CtlKind::ReadOnlyEdit, "", place.control,
                         e.controlId == kRudderAngleText ? kStyleHidden : kStyleNone});
            break;
        }
    }
    return t;
}
