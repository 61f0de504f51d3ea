#include "window/CTerminalApp.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    CTerminalApp app;
    app.InitInstance();
    return 0;
}
