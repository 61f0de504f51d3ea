#pragma once
// What assistive technology learns of the panel: each read-out reports its
// caption as its name and its text as its value, so that a screen reader
// says "Engine Speed, 5000.00 RPM".
class CDialogControls;

// Installs the read-outs' accessible interface (once per program) and names
// every read-out, text box and the slider after the caption of the box
// around it.
void MakePanelAccessible(const CDialogControls& controls);
