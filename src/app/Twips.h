#pragma once

#include <QRect>

namespace marrowgate {

// The window is laid out in twips (1/1440 inch): 15 twips to a pixel at 96
// dots per inch. Pixels here are Qt's device-independent pixels.
constexpr int TwipsToPixels(int twips) {
    return (twips + 7) / 15;
}

constexpr QRect TwipsRect(int left, int top, int width, int height) {
    return QRect(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width),
                 TwipsToPixels(height));
}

} // namespace marrowgate
