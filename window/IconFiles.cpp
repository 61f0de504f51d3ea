// Writes the application's icon as PNG files in the icon theme's layout
// (OUT/NxN/apps/brendlow-terminal.png), for installing with the program.
#include "widgets/AppIcon.h"

#include <QDir>
#include <QGuiApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
    // Drawing needs no screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "%s\n",
                     qPrintable(QCoreApplication::translate("IconFiles", "usage: %1 OUTPUT-FOLDER")
                                    .arg(QString::fromLocal8Bit(argv[0]))));
        return 2;
    }
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        const QString folder =
            QStringLiteral("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[1])).arg(size);
        const QString file = folder + QStringLiteral("/brendlow-terminal.png");
        if (!QDir().mkpath(folder) || !DrawApplicationIcon(size).save(file, "PNG")) {
            std::fprintf(
                stderr, "%s\n",
                qPrintable(QCoreApplication::translate("IconFiles", "cannot write %1").arg(file)));
            return 1;
        }
    }
    return 0;
}
