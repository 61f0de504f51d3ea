#include "window/CTerminalApp.h"

#include "widgets/CaretBlinkLimit.h"
#include "window/CTerminalDlg.h"

#include <QApplication>

bool CTerminalApp::InitInstance() {
    {
        CCaretBlinkLimit caretBlink;
        CTerminalDlg dialog;
        // The window runs as the application's main window; closing it,
        // Exit or Escape ends the program.
        QObject::connect(&dialog, &QDialog::finished, qApp, &QCoreApplication::quit);
        dialog.show();
        QApplication::exec();
    }
    return false;
}
