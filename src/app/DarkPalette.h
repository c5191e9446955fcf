#pragma once

#include <QPalette>

namespace marrowgate {

// A dark desktop theme's palette (light text on dark grey), for the tests and
// the pictures that show the window in one.
QPalette DarkPalette();

} // namespace marrowgate
