#pragma once

#include <QIcon>

// The window's small pictures, drawn in code so that they stay sharp and need no image files.
namespace AppIcons {

QIcon category(); // tree image 0, 16 x 16: a folder
QIcon item();     // tree image 1, 16 x 16: a card with a key
QIcon news();     // toolbar, 24 x 24
QIcon update();
QIcon help();
QIcon back(); // browser bar, 16 x 16
QIcon forward();
QIcon refresh();
QIcon stop();

} // namespace AppIcons
