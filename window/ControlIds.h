#pragma once
// The main window's control ids: its template, its code and the tests name
// each control by these.

// Control ids of the main window.
namespace ids {
inline constexpr int kExit = 1;
inline constexpr int kConnect = 1000;
inline constexpr int kDisconnect = 1001;
inline constexpr int kPortList = 1002;
inline constexpr int kProductId = 1003;
inline constexpr int kFirmwareVersion = 1004;
inline constexpr int kSerialNumber = 1005;
inline constexpr int kComm = 1006;
inline constexpr int kMenu = 1007;
inline constexpr int kDown = 1008;
inline constexpr int kUp = 1009;
inline constexpr int kDynamic = 1010;
inline constexpr int kQuiet = 1011;
inline constexpr int kWarnings = 1012;
inline constexpr int kSlider = 1013;
inline constexpr int kEngineSa = 1014;
inline constexpr int kTransmissionSa = 1015;
inline constexpr int kEngineSaBox = 1016;
inline constexpr int kTransmissionSaBox = 1017;
inline constexpr int kEngineInstance = 1018;
inline constexpr int kExhaustInstance = 1019;
inline constexpr int kExhaustBox = 1020;
inline constexpr int kFuelLevelInstance = 1021;
inline constexpr int kFuelLevelBox = 1022;
inline constexpr int kBatteryInstance = 1023;
inline constexpr int kBatteryBox = 1024;
inline constexpr int kTransmissionInstance = 1025;
inline constexpr int kTransmissionBox = 1026;
inline constexpr int kWasteWaterInstance = 1027;
inline constexpr int kWasteWaterBox = 1028;
inline constexpr int kBlackWaterInstance = 1029;
inline constexpr int kBlackWaterBox = 1030;
inline constexpr int kRudderInstance = 1031;
inline constexpr int kRudderBox = 1032;
inline constexpr int kDiscreteStatus1 = 1033;
inline constexpr int kTransWarning = 1034;
inline constexpr int kDiscreteStatus2 = 1036;
inline constexpr int kRudderDirOrder = 1038;
inline constexpr int kRudderAngleOrder = 1071;
inline constexpr int kRudderAngleText = 1072;
inline constexpr int kMaxDepthRange = 1074;
inline constexpr int kMaxDepthText = 1077;
inline constexpr int kCogReference = 1083;
inline constexpr int kSid = 1084;
inline constexpr int kSidBox = 1085;
// The instance texts in the order of the instance line (device::kInstanceFields).
inline constexpr int kInstanceTexts[8] = {
    kEngineInstance,       kFuelLevelInstance,  kBatteryInstance, kExhaustInstance,
    kTransmissionInstance, kWasteWaterInstance, kRudderInstance,  kBlackWaterInstance};
// The remote-control group's controls, enabled while a device is identified.
inline constexpr int kRemoteControls[] = {kSlider, kDown, kUp, kDynamic, kQuiet, kWarnings, kMenu};
// The status controls that an identified device enables, captions first.
inline constexpr int kStatusControls[] = {kSidBox,
                                          kSid,
                                          kFuelLevelBox,
                                          kFuelLevelInstance,
                                          kBatteryBox,
                                          kBatteryInstance,
                                          kExhaustBox,
                                          kExhaustInstance,
                                          kTransmissionBox,
                                          kTransmissionInstance,
                                          kWasteWaterBox,
                                          kWasteWaterInstance,
                                          kRudderBox,
                                          kRudderInstance,
                                          kBlackWaterBox,
                                          kBlackWaterInstance,
                                          kTransmissionSaBox,
                                          kTransmissionSa};
} // namespace ids

inline constexpr unsigned kSysCommandAbout = 0x0010;
