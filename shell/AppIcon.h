#pragma once
#include <QIcon>

// The application's icon, drawn at 32x32 and 16x16.
QIcon ApplicationIcon();
