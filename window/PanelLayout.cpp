#include "window/PanelLayout.h"

#include "core/PanelFields.h"

#include <algorithm>
#include <stdexcept>

namespace panel {

namespace {

// Most controls sit in a 69x24 caption box with a 66x13 control inside.
constexpr PanelPlace Small(int id, int x, int y, int cx, int cy) {
    return {id, {x, y, 69, 24}, {cx, cy, 66, 13}};
}

const std::array<PanelPlace, kPanelEntryCount> kPlaces{{
    Small(1035, 9, 247, 11, 256),
    Small(1037, 80, 247, 82, 256),
    Small(1039, 151, 247, 153, 256),
    Small(1040, 222, 247, 224, 256),
    Small(1041, 9, 271, 11, 280),
    Small(1042, 222, 271, 224, 280),
    {1033, {299, 128, 140, 29}, {303, 140, 132, 13}},
    {1036, {505, 128, 140, 29}, {509, 140, 132, 13}},
    Small(1049, 297, 11, 299, 20),
    Small(1048, 368, 11, 370, 20),
    Small(1046, 438, 11, 440, 20),
    Small(1047, 508, 11, 510, 20),
    Small(1043, 578, 11, 580, 20),
    Small(1045, 297, 35, 299, 44),
    Small(1050, 368, 35, 370, 44),
    Small(1051, 438, 35, 440, 44),
    Small(1044, 508, 35, 510, 44),
    Small(1052, 578, 35, 580, 44),
    Small(1054, 297, 59, 299, 68),
    Small(1055, 367, 59, 369, 68),
    Small(1056, 438, 59, 440, 68),
    Small(1053, 508, 59, 510, 68),
    Small(1057, 578, 59, 580, 68),
    Small(1062, 297, 84, 299, 93),
    Small(1061, 367, 84, 369, 93),
    Small(1060, 438, 84, 440, 93),
    Small(1059, 508, 84, 510, 93),
    Small(1058, 578, 84, 580, 93),
    Small(1067, 297, 175, 299, 184),
    Small(1080, 367, 175, 369, 184),
    Small(1063, 438, 175, 440, 184),
    Small(1079, 508, 175, 510, 184),
    Small(1073, 578, 175, 580, 184),
    Small(1078, 297, 199, 299, 208),
    Small(1068, 367, 199, 369, 208),
    Small(1069, 438, 199, 440, 208),
    Small(1038, 508, 199, 510, 208),
    Small(1071, 578, 199, 580, 208),
    Small(1072, 578, 199, 580, 208),
    Small(1070, 297, 223, 299, 232),
    Small(1076, 367, 223, 369, 232),
    Small(1075, 438, 223, 440, 232),
    Small(1074, 508, 223, 510, 232),
    Small(1077, 508, 223, 510, 232),
    Small(1034, 297, 247, 299, 256),
    Small(1064, 368, 247, 369, 256),
    Small(1065, 438, 247, 440, 256),
    Small(1066, 508, 247, 510, 256),
    Small(1083, 297, 271, 299, 280),
    Small(1081, 368, 271, 369, 280),
    Small(1082, 438, 271, 440, 280),
}};

} // namespace

const std::array<PanelGroup, 4> kPanelGroups{{
    {"Engine Parameters", {7, 239, 286, 58}},
    {"Engine Parameters", {295, 3, 354, 112}},
    {"Engine Parameters", {295, 120, 354, 40}},
    {"Vessel Parameters", {295, 166, 354, 131}},
}};

const PanelPlace& PlaceOf(int controlId) {
    const auto it = std::find_if(kPlaces.begin(), kPlaces.end(), [controlId](const PanelPlace& p) {
        return p.controlId == controlId;
    });
    if (it == kPlaces.end())
        throw std::logic_error("a panel entry without a place on the window");
    return *it;
}

} // namespace panel
