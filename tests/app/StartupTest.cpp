#include "WindowFixture.h"

#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTableView>

#include <cmath>

namespace marrowgate::testing {
namespace {

using StartupTest = WindowTest;

TEST_F(StartupTest, ShowsTheEmptyListAndDisabledConversion) {
    EXPECT_EQ(window.windowTitle(), "Marrowgate");
    EXPECT_EQ(window.size(), QSize(599, 418));
    EXPECT_EQ(window.minimumSize(), window.maximumSize()) << "the window must not resize";
    const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
    // Centred before the frame exists: off by half the frame at most.
    EXPECT_LE((window.frameGeometry().center() - centre).manhattanLength(), 10);
    EXPECT_FALSE(window.windowIcon().isNull());

    EXPECT_EQ(window.CmdAddFolder->text(), "Choose Windows Live Mail Store Folder...");
    EXPECT_EQ(window.cmdClear1->text(), "Clear File(s)...");
    EXPECT_EQ(window.lblCount1->text(), "0 files");
    EXPECT_EQ(window.Label4->text(), "Converting Messages...");
    EXPECT_EQ(window.LblProgessCurrent->text(), "Message 0 (of 0)");
    EXPECT_EQ(window.CmdConvert2PDF->text(), "Convert to Entourage");
    EXPECT_EQ(window.CmdHelp->text(), "&Help Manual");
    EXPECT_EQ(window.cmdEnd->text(), "E&xit");
    EXPECT_EQ(window.ProgressBar1->minimum(), 0);
    EXPECT_EQ(window.ProgressBar1->maximum(), 100);
    EXPECT_EQ(window.ProgressBar1->value(), 0);
    EXPECT_EQ(window.Image2->pixmap().size(), QSize(600, 85));
    EXPECT_EQ(window.Image1->pixmap().size(), QSize(22, 22));

    EXPECT_FALSE(window.CmdConvert2PDF->isEnabled());
    for (QWidget* live :
         std::initializer_list<QWidget*>{window.CmdAddFolder, window.cmdClear1, window.CmdHelp,
                                         window.cmdEnd, window.grdFiles1}) {
        EXPECT_TRUE(live->isEnabled()) << live->objectName().toStdString();
    }
    EXPECT_EQ(window.focusWidget(), window.cmdClear1);

    // The list: one empty row, its column 10000 twips wide.
    EXPECT_EQ(Rows(), QStringList{QString()});
    EXPECT_EQ(window.grdFiles1->columnWidth(0), 667);
}

TEST_F(StartupTest, PlacesEveryControlAtItsTwipsPosition) {
    struct Placement {
        const char* name;
        int left, top, width, height; // twips, relative to the parent
    };
    const Placement placements[] = {
        {"Image2", 0, 0, 9000, 1275},           {"CmdAddFolder", 240, 1440, 3495, 375},
        {"cmdClear1", 4080, 1440, 1695, 375},   {"lblCount1", 270, 2040, 7695, 255},
        {"grdFiles1", 240, 2280, 8535, 1575},   {"Label4", 240, 3960, 8535, 255},
        {"Image1", 240, 4275, 330, 330},        {"LblProgessCurrent", 720, 4320, 8055, 255},
        {"ProgressBar1", 240, 4680, 8535, 255}, {"CmdConvert2PDF", 3120, 5040, 2775, 435},
        {"Shape1", 0, 5640, 9015, 855},         {"Picture3", 240, 5760, 8655, 495},
        {"CmdHelp", 0, 0, 1695, 375},           {"cmdEnd", 7200, 0, 1335, 375},
    };
    for (const Placement& p : placements) {
        const auto* control = window.findChild<QWidget*>(QString::fromLatin1(p.name));
        ASSERT_NE(control, nullptr) << p.name;
        const QRect expected(std::lround(p.left / 15.0), std::lround(p.top / 15.0),
                             std::lround(p.width / 15.0), std::lround(p.height / 15.0));
        EXPECT_EQ(control->geometry(), expected) << p.name;
    }
    EXPECT_EQ(window.CmdHelp->parentWidget(), window.Picture3);
    EXPECT_EQ(window.cmdEnd->parentWidget(), window.Picture3);
}

} // namespace
} // namespace marrowgate::testing
