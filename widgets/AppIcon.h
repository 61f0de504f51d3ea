#pragma once
#include <QIcon>
#include <QPixmap>

// The application's icon, drawn at 32x32 and 16x16.
QIcon ApplicationIcon();
// The same drawing at any size, for the installed icon files.
QPixmap DrawApplicationIcon(int size);
