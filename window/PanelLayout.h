#pragma once
// Where the panel stands on the main window: its four group boxes, and for
// each read-out and text box of the panel (by control id) its caption box
// and its control. Rectangles are in dialog units.
#include "widgets/DialogTemplate.h"

#include <array>

namespace panel {

struct PanelGroup {
    const char* caption;
    DluRect box;
};

struct PanelPlace {
    int controlId;
    DluRect captionBox;
    DluRect control;
};

extern const std::array<PanelGroup, 4> kPanelGroups;

// Where the entry with this control id stands; every panel entry has a place.
const PanelPlace& PlaceOf(int controlId);

} // namespace panel
