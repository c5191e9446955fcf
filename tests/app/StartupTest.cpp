#include "WindowFixture.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTableView>

namespace marrowgate::test {
namespace {

using StartupTest = WindowTest;

// The window opens centred with its pictures loaded, an empty list, nothing
// to convert yet, and the focus moving through the controls in reading order.
TEST_F(StartupTest, ShowsTheEmptyListAndDisabledConversion) {
    const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
    // Centred before the frame exists: off by half the frame at most.
    EXPECT_LE((window.frameGeometry().center() - centre).manhattanLength(), 10);
    EXPECT_FALSE(window.windowIcon().isNull());
    EXPECT_FALSE(Label("Image2")->pixmap().isNull());
    EXPECT_FALSE(Label("Image1")->pixmap().isNull());

    EXPECT_FALSE(Button("CmdConvert2PDF")->isEnabled());
    for (QWidget* live :
         std::initializer_list<QWidget*>{Button("CmdAddFolder"), Button("cmdClear1"),
                                         Button("CmdHelp"), Button("cmdEnd"), Grid()}) {
        EXPECT_TRUE(live->isEnabled()) << live->objectName().toStdString();
    }
    // Focus starts on Clear; Tab passes over the disabled button.
    EXPECT_EQ(window.focusWidget(), Button("cmdClear1"));
    QStringList order;
    QWidget* next = Button("cmdClear1");
    do {
        order << next->objectName();
        do {
            next = next->nextInFocusChain();
        } while (!(next->focusPolicy() & Qt::TabFocus) || !next->isEnabled());
    } while (next != Button("cmdClear1") && order.size() < 10);
    EXPECT_EQ(order, (QStringList{"cmdClear1", "CmdAddFolder", "grdFiles1", "cboTarget", "cmdEnd",
                                  "CmdHelp"}));

    EXPECT_EQ(Rows(), QStringList{QString()});
}

} // namespace
} // namespace marrowgate::test
