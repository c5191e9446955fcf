// Runs on a 1366 x 768 screen at twice the scale (see main.cpp): the window
// and every box it shows must fit, their buttons on the screen.
#include "WindowFixture.h"

#include "app/HelpViewer.h"
#include "app/ImapAccountForm.h"
#include "app/QtUserDialogs.h"
#include "app/WindowTexts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTimer>

#include <functional>

namespace marrowgate::test {
namespace {

// What a title bar takes at this scale, at most: the frame the window
// manager adds above a window.
constexpr int kTitleBar = 32;

class ScaledScreenTest : public WindowTest {
protected:
    QRect Room() const { return window.screen()->availableGeometry(); }

    // The window or box fits on the screen with a title bar above it, and
    // every button of it lies within it.
    void ExpectFits(const QWidget* top) {
        const std::string name = top->objectName().toStdString();
        const QRect frame = top->frameGeometry();
        EXPECT_LE(frame.width(), Room().width()) << name;
        EXPECT_LE(frame.height() + kTitleBar, Room().height()) << name;
        EXPECT_TRUE(Room().contains(frame)) << name;
        for (const QPushButton* button : top->findChildren<QPushButton*>()) {
            if (button->isVisibleTo(top)) {
                const QRect at(button->mapTo(top, QPoint()), button->size());
                EXPECT_TRUE(top->rect().contains(at))
                    << name << ": " << button->text().toStdString();
            }
        }
    }

    // In a box that Qt lays out, no button's or check box's words are cut
    // off at its edge (they do not wrap). The main window's controls keep the
    // sizes it was drawn with, so the check is for boxes only.
    void ExpectWordsFit(const QWidget* top) {
        for (const QAbstractButton* button : top->findChildren<QAbstractButton*>()) {
            if (button->isVisibleTo(top) && !button->text().isEmpty()) {
                EXPECT_LE(button->sizeHint().width(), button->width())
                    << top->objectName().toStdString() << ": " << button->text().toStdString();
            }
        }
    }

    // Shows a box through `show`, checks it as it is up, then closes it.
    void ExpectBoxFits(const char* what, const std::function<void()>& show) {
        SCOPED_TRACE(what);
        bool checked = false;
        QTimer::singleShot(0, &window, [&] {
            QWidget* box = QApplication::activeModalWidget();
            ASSERT_NE(box, nullptr);
            QApplication::processEvents();
            ExpectFits(box);
            ExpectWordsFit(box);
            checked = true;
            box->close();
        });
        show();
        EXPECT_TRUE(checked);
    }
};

// A deep path, as a store copied from another computer has them.
QString DeepPath(int i) {
    return QString("/home/ann/Windows Live Mail from the old computer/Storage Folders/"
                   "{6C7E4F7A-2B1D-4E3C-9A8B-0F1E2D3C4B5A}/Inbox/Archive 2009/%1 "
                   "{B2F1C6A4-1D5E-4A8F-9C3B-7E2D4F6A8B0C}.eml")
        .arg(i);
}

TEST_F(ScaledScreenTest, TheScreenIsALaptopsAtTwiceTheScale) {
    EXPECT_EQ(window.screen()->geometry().size(), QSize(683, 384));
    EXPECT_EQ(window.devicePixelRatio(), 2);
}

// The window opens within the screen: the list keeps two rows, the banner
// gives up what is missing, and every control is on it, the font as written.
TEST_F(ScaledScreenTest, TheWindowFitsWithEveryControl) {
    ExpectFits(&window);
    EXPECT_LE(window.minimumHeight() + kTitleBar, Room().height());
    EXPECT_DOUBLE_EQ(window.font().pointSizeF(), 8.25);
    EXPECT_GE(Grid()->viewport()->height(), 2 * Grid()->rowHeight(0));
    // The banner and the white band reach past the edges by design.
    for (const QWidget* control : window.findChildren<QWidget*>()) {
        if (control->parentWidget() == &window && control->objectName() != "Image2" &&
            control->objectName() != "Shape1") {
            EXPECT_TRUE(window.rect().contains(control->geometry()))
                << control->objectName().toStdString();
        }
    }
    EXPECT_LT(Button("CmdConvert2PDF")->geometry().bottom(),
              Control<QWidget>(window, "Picture3")->geometry().top());
}

// The summary of a run in which 200 messages failed keeps its buttons on the
// screen: the details scroll.
TEST_F(ScaledScreenTest, TheReportOf200FailuresKeepsItsButtonsOnScreen) {
    for (int i = 0; i < 200; ++i) {
        window.AddMessagePath(DeepPath(i));
    }
    dialogs.failureChoices = {FailureChoice::SkipAll};
    dialogs.folders.push_back(TempPath("Out"));
    Button("CmdConvert2PDF")->setEnabled(true);
    Button("CmdConvert2PDF")->click();
    const auto& summary = dialogs.messages.back();
    ASSERT_EQ(summary.kind, ScriptedDialogs::Kind::Summary);
    ASSERT_GE(summary.details.count("\r\n"), 200);

    ExpectBoxFits("summary", [&] {
        QtUserDialogs().ShowSummary(&window, {summary.prompt, summary.details, true}, {});
    });
    ExpectBoxFits("the written words", [&] {
        QtUserDialogs().ShowSummary(&window, {CompletionText(), "All 3 messages verified.", false},
                                    {});
    });
}

// The questions and messages the window asks and tells, with long paths in
// them, the help window and the folder and file dialogs fit as well.
TEST_F(ScaledScreenTest, EveryBoxFits) {
    QtUserDialogs real;
    const QString failure = FailureLine(DeepPath(1).toStdString(),
                                        "Cannot open mailbox file /media/ann/Backup/" +
                                            DeepPath(1).toStdString() + ".mbox: Permission denied");
    ExpectBoxFits("failure",
                  [&] { real.AskAfterFailure(&window, FailureQuestionText(0, 9, failure)); });
    ExpectBoxFits("not opened", [&] {
        real.MsgBox(&window, NotOpenedText("The mailbox folder", DeepPath(2)),
                    MessageIcon::Question);
    });
    ExpectBoxFits("stopped", [&] {
        real.MsgBox(&window, StoppedText(12345, 67890, DeepPath(3)), MessageIcon::Information);
    });
    ExpectBoxFits("folder", [&] { real.BrowseForFolder(&window, "Choose Source Folder...", {}); });
    ExpectBoxFits("output", [&] {
        real.BrowseForOutputFolder(&window, "Choose Folder to Save...", TempPath(""));
    });
    ExpectBoxFits("save",
                  [&] { real.BrowseForSaveFile(&window, "Save Report", TempPath("r.txt")); });
    ExpectBoxFits("IMAP account", [&] {
        ImapAccountForm form;
        real.AskImapAccount(&window, form, {});
    });

    dialogs.shellOpens = false;
    Button("CmdHelp")->click();
    ASSERT_NE(window.HelpWindow(), nullptr);
    ExpectFits(window.HelpWindow());
}

} // namespace
} // namespace marrowgate::test
