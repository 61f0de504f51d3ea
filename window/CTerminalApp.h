#pragma once

// The application object: runs the main window; the
// program ends when it closes.
class CTerminalApp {
public:
    // The whole life of the program. Returns false: nothing runs after it.
    bool InitInstance();
};
