#include "WindowFixture.h"

#include <QComboBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace marrowgate::test {
namespace {

class ResumeTest : public WindowTest {
protected:
    // A store of six large messages, listed as the user lists it.
    QString MakeStore() {
        for (int i = 0; i < 6; ++i) {
            WriteMessage(QString("Store/Inbox/m%1.eml").arg(i), QString("m%1").arg(i),
                         QByteArray(256 * 1024, 'x'));
        }
        return TempPath("Store");
    }

    // Converts the list into Out for Thunderbird and closes the window a
    // third of the way through, answering Yes to the close box.
    void ConvertAndClose() {
        TargetBox()->setCurrentIndex(TargetBox()->findData("thunderbird"));
        bool closed = false;
        auto connection =
            QObject::connect(Bar(), &QProgressBar::valueChanged, &window, [&](int value) {
                if (!closed && value >= 33) {
                    closed = true;
                    QTimer::singleShot(0, &window, [&] {
                        dialogs.answers = {Answer::Yes};
                        window.close();
                    });
                }
            });
        dialogs.folders.push_back(Out());
        Button("CmdConvert2PDF")->click();
        QObject::disconnect(connection);
        ASSERT_FALSE(window.isVisible());
    }

    QString Out() const { return TempPath("Out"); }
};

// A conversion closed half-way is offered at the next start: Yes lists its
// store folder again and converts it into the same folder for the same mail
// program, passing over what is there already.
TEST_F(ResumeTest, AConversionThatDidNotFinishIsOfferedAtTheNextStart) {
    const QString store = MakeStore();
    dialogs.folders.push_back(store);
    Button("CmdAddFolder")->click();
    ConvertAndClose();

    ScriptedDialogs again;
    frmStep1 reopened(again);
    reopened.show();
    reopened.SetYieldInterval(0);
    Control<QComboBox>(reopened, "cboTarget")->setCurrentIndex(0);
    again.answers = {Answer::Yes};
    reopened.OfferToFinish();

    ASSERT_GE(again.messages.size(), 2u);
    const QString question = again.messages.front().prompt;
    EXPECT_EQ(again.messages.front().icon, MessageIcon::Question);
    EXPECT_TRUE(question.startsWith("The last conversion into " + Out() + " did not finish; "))
        << question.toStdString();
    EXPECT_TRUE(question.endsWith(":\r\n" + store + QDir::separator())) << question.toStdString();
    EXPECT_TRUE(again.browseTitles.isEmpty()) << "no folder is asked for";
    EXPECT_EQ(Control<QComboBox>(reopened, "cboTarget")->currentData().toString(), "thunderbird");
    EXPECT_EQ(reopened.MessageList().RowCount(), 6);
    const auto& summary = again.messages.back();
    ASSERT_EQ(summary.kind, ScriptedDialogs::Kind::Summary);
    EXPECT_EQ(summary.icon, MessageIcon::Information);
    EXPECT_TRUE(summary.details.contains("Messages already converted: "))
        << summary.details.toStdString();
    EXPECT_FALSE(summary.details.contains("Messages already converted: 0\r\n"));
    EXPECT_TRUE(summary.details.contains("All 6 messages verified."));

    // Finished now: nothing more to offer.
    ScriptedDialogs third;
    frmStep1 later(third);
    later.OfferToFinish();
    EXPECT_TRUE(third.messages.empty());
}

// No leaves the list empty, and the same conversion is not offered again.
TEST_F(ResumeTest, NoIsNotAskedAgain) {
    dialogs.folders.push_back(MakeStore());
    Button("CmdAddFolder")->click();
    ConvertAndClose();

    for (int start = 0; start < 2; ++start) {
        ScriptedDialogs again;
        frmStep1 reopened(again);
        again.answers = {Answer::No};
        reopened.OfferToFinish();
        EXPECT_EQ(again.messages.size(), start == 0 ? 1u : 0u) << "start " << start;
        EXPECT_TRUE(reopened.MessageList().IsEmpty());
    }
}

} // namespace
} // namespace marrowgate::test
