#include "app/DarkPalette.h"

#include <QColor>

namespace marrowgate {

QPalette DarkPalette() {
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(45, 45, 45));
    dark.setColor(QPalette::WindowText, QColor(238, 238, 238));
    dark.setColor(QPalette::Base, QColor(30, 30, 30));
    dark.setColor(QPalette::AlternateBase, QColor(45, 45, 45));
    dark.setColor(QPalette::Text, QColor(238, 238, 238));
    dark.setColor(QPalette::Button, QColor(60, 60, 60));
    dark.setColor(QPalette::ButtonText, QColor(238, 238, 238));
    dark.setColor(QPalette::Highlight, QColor(53, 132, 228));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::Light, QColor(75, 75, 75));
    dark.setColor(QPalette::Midlight, QColor(65, 65, 65));
    dark.setColor(QPalette::Mid, QColor(50, 50, 50));
    dark.setColor(QPalette::Dark, QColor(25, 25, 25));
    dark.setColor(QPalette::Shadow, Qt::black);
    return dark;
}

} // namespace marrowgate
