#include "WindowFixture.h"

#include "app/DarkPalette.h"
#include "app/MessageGrid.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>

#include <algorithm>
#include <cmath>

namespace marrowgate::test {
namespace {

// The contrast ratio of two colours as the web's accessibility guidelines
// define it: 1 (none) to 21 (black on white).
double Luminance(QRgb rgb) {
    const auto channel = [](int value) {
        const double c = value / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(rgb)) + 0.7152 * channel(qGreen(rgb)) +
           0.0722 * channel(qBlue(rgb));
}

double Contrast(QRgb a, QRgb b) {
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The contrast of the text drawn in `area` of `image`: between the colour at
// the area's right end, where no text reaches, and the pixel that differs
// from it most (the core of a letter's stroke).
struct Drawn {
    QRgb background;
    double contrast;
};
Drawn TextContrast(const QImage& image, const QRect& area) {
    const QRgb background = image.pixel(area.right() - 2, area.center().y());
    double best = 1;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            best = std::max(best, Contrast(background, image.pixel(x, y)));
        }
    }
    return {background, best};
}

using AppearanceTest = WindowTest;

// Under a light and then a dark palette the list's rows and the labels are
// drawn with readable contrast, measured on the window as drawn; the light
// palette keeps the list's light yellow cells, the dark one a dark bottom band.
TEST_F(AppearanceTest, TheListAndTheLabelsAreReadableInLightAndDarkThemes) {
    const QPalette before = QApplication::palette();
    for (bool darkTheme : {false, true}) {
        SCOPED_TRACE(darkTheme ? "dark" : "light");
        // The window follows a change of theme while it is open.
        QApplication::setPalette(darkTheme ? DarkPalette() : before);
        window.ClearMessageList();
        window.AddMessagePath("/store/Inbox/0001 first message.eml");
        window.AddMessagePath("/store/Inbox/0002 second message.eml");
        Grid()->setCurrentIndex(window.MessageList().index(1));
        QApplication::processEvents();

        const QImage image = window.grab().toImage();
        const QTableView* grid = Grid();
        const GridColours colours = GridColoursFor(grid->palette());
        for (int row : {0, 1}) {
            const QRect cell = grid->visualRect(grid->model()->index(row, 0))
                                   .intersected(grid->viewport()->rect())
                                   .adjusted(1, 1, -1, -1)
                                   .translated(grid->viewport()->mapTo(&window, QPoint()));
            const Drawn drawn = TextContrast(image, cell);
            EXPECT_GE(drawn.contrast, 4.5) << "row " << row;
            EXPECT_EQ(QColor(drawn.background), row == 0 ? colours.cell : colours.selected);
        }
        // The line between the two rows.
        const QPoint line = grid->viewport()->mapTo(
            &window, grid->visualRect(grid->model()->index(0, 0)).bottomLeft() + QPoint(20, 0));
        EXPECT_EQ(QColor(image.pixel(line)), colours.lines);
        if (!darkTheme) {
            EXPECT_EQ(colours.cell, QColor(255, 255, 191));
            EXPECT_EQ(colours.lines, QColor(192, 192, 192));
        }

        for (QLabel* label : {Label("lblCount1"), Label("Label4"), Label("LblProgessCurrent")}) {
            const Drawn drawn = TextContrast(image, label->geometry());
            EXPECT_GE(drawn.contrast, 4.5) << label->objectName().toStdString();
        }
        const QRect band = Control<QFrame>(window, "Shape1")->geometry();
        const QColor bandColour = image.pixel(band.center().x(), band.top() + 4);
        EXPECT_EQ(bandColour.lightness() < 128, darkTheme) << bandColour.name().toStdString();
    }
    QApplication::setPalette(before);
}

// Distances of a control from the window's four edges.
QMargins FromEdges(const QWidget* control, const QWidget* window) {
    const QRect r(control->mapTo(window, QPoint()), control->size());
    return {r.left(), r.top(), window->width() - r.right(), window->height() - r.bottom()};
}

// The window opens at its designed size and layout. Grown, the list takes the
// room and the other controls keep to their edges; it cannot be made too
// small for its controls, and it opens at the size it was closed at.
TEST_F(AppearanceTest, TheWindowGrowsAroundTheListAndRemembersItsSize) {
    EXPECT_EQ(window.size(), QSize(599, 418));
    EXPECT_EQ(Grid()->geometry(), QRect(16, 152, 569, 105));
    EXPECT_GT(window.maximumWidth(), 4000);

    const QWidget* controls[] = {
        Button("CmdAddFolder"),   Button("cmdClear1"), Label("lblCount1"), Bar(),
        Button("CmdConvert2PDF"), Button("CmdHelp"),   Button("cmdEnd"),   TargetBox()};
    std::vector<QMargins> designed;
    for (const QWidget* control : controls) {
        designed.push_back(FromEdges(control, &window));
    }
    window.resize(1000, 700);
    QApplication::processEvents();
    EXPECT_EQ(Grid()->size(), QSize(569 + 401, 105 + 282));
    const auto at = [&](int i) { return FromEdges(controls[i], &window); };
    for (int i : {0, 1}) { // the top buttons stay at the top left
        EXPECT_EQ(at(i).left(), designed[i].left());
        EXPECT_EQ(at(i).top(), designed[i].top());
    }
    for (int i : {2, 3}) { // the label and the bar span the width
        EXPECT_EQ(at(i).left(), designed[i].left());
        EXPECT_EQ(at(i).right(), designed[i].right());
    }
    EXPECT_EQ(at(3).bottom(), designed[3].bottom());
    EXPECT_NEAR(at(4).left() - at(4).right(), designed[4].left() - designed[4].right(), 2)
        << "the conversion button stays centred";
    EXPECT_EQ(at(4).bottom(), designed[4].bottom());
    EXPECT_EQ(at(5).left(), designed[5].left());
    EXPECT_EQ(at(5).bottom(), designed[5].bottom());
    EXPECT_EQ(at(6).right(), designed[6].right());
    EXPECT_EQ(at(6).bottom(), designed[6].bottom());
    EXPECT_EQ(at(7).right(), designed[7].right()) << "the mail program stays under the list's end";
    EXPECT_EQ(at(7).bottom(), designed[7].bottom());

    window.resize(100, 100);
    QApplication::processEvents();
    EXPECT_EQ(window.size(), frmStep1::SmallestSize());
    EXPECT_GE(Grid()->viewport()->height(), 2 * Grid()->rowHeight(0)) << "two rows of the list";
    EXPECT_LT(Button("CmdHelp")->geometry().right(), Button("cmdEnd")->geometry().left());
    EXPECT_LT(Button("cmdClear1")->geometry().right(), window.width());
    EXPECT_LT(Grid()->geometry().bottom(), TargetBox()->geometry().top());
    EXPECT_LT(TargetBox()->geometry().bottom(), Label("LblProgessCurrent")->geometry().top());
    EXPECT_LT(Label("Label4")->geometry().right(), Label("lblTarget")->geometry().left());

    window.resize(700, 500);
    window.CloseWithoutAsking();
    frmStep1 reopened(dialogs);
    EXPECT_EQ(reopened.size(), QSize(700, 500));
}

} // namespace
} // namespace marrowgate::test
