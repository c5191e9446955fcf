#include "WindowFixture.h"

#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTableView>

namespace marrowgate::testing {
namespace {

using StartupTest = WindowTest;

TEST_F(StartupTest, ShowsTheEmptyListAndDisabledConversion) {
    EXPECT_EQ(window.windowTitle(), "Marrowgate");
    EXPECT_EQ(window.size(), QSize(599, 418));
    const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
    // Centred before the frame exists: off by half the frame at most.
    EXPECT_LE((window.frameGeometry().center() - centre).manhattanLength(), 10);
    EXPECT_FALSE(window.windowIcon().isNull());

    EXPECT_EQ(Button("CmdAddFolder")->text(), "Choose Windows Live Mail Store Folder...");
    EXPECT_EQ(Button("cmdClear1")->text(), "Clear File(s)...");
    EXPECT_EQ(Label("lblCount1")->text(), "0 files");
    EXPECT_EQ(Label("Label4")->text(), "No conversion running.");
    EXPECT_EQ(Label("LblProgessCurrent")->text(), "Message 0 (of 0)");
    EXPECT_EQ(Button("CmdConvert2PDF")->text(), "Convert to Entourage");
    EXPECT_EQ(Button("CmdHelp")->text(), "&Help Manual");
    EXPECT_EQ(Button("cmdEnd")->text(), "E&xit");
    EXPECT_EQ(Bar()->minimum(), 0);
    EXPECT_EQ(Bar()->maximum(), 100);
    EXPECT_EQ(Bar()->value(), 0);
    EXPECT_EQ(Label("Image2")->pixmap().size(), QSize(600, 85));
    EXPECT_EQ(Label("Image1")->pixmap().size(), QSize(22, 22));

    EXPECT_FALSE(Button("CmdConvert2PDF")->isEnabled());
    for (QWidget* live :
         std::initializer_list<QWidget*>{Button("CmdAddFolder"), Button("cmdClear1"),
                                         Button("CmdHelp"), Button("cmdEnd"), Grid()}) {
        EXPECT_TRUE(live->isEnabled()) << live->objectName().toStdString();
    }
    // Tab goes left to right, top to bottom, passing over the disabled button.
    EXPECT_EQ(window.focusWidget(), Button("CmdAddFolder"));
    QStringList order;
    QWidget* next = Button("CmdAddFolder");
    do {
        order << next->objectName();
        do {
            next = next->nextInFocusChain();
        } while (!(next->focusPolicy() & Qt::TabFocus) || !next->isEnabled());
    } while (next != Button("CmdAddFolder") && order.size() < 10);
    EXPECT_EQ(order, (QStringList{"CmdAddFolder", "cmdClear1", "grdFiles1", "cboTarget", "CmdHelp",
                                  "cmdEnd"}));

    // The list: one empty row, its column 10000 twips wide.
    EXPECT_EQ(Rows(), QStringList{QString()});
    EXPECT_EQ(Grid()->columnWidth(0), 667);
}

} // namespace
} // namespace marrowgate::testing
