#include "CTerminalApp.h"

#include "CTerminalDlg.h"

bool CTerminalApp::InitInstance() {
    {
        CTerminalDlg dialog;
        dialog.exec();
    }
    return false;
}
