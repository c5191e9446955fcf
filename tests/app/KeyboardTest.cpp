#include "WindowFixture.h"

#include "app/HelpViewer.h"
#include "app/ReportDialog.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTest>

#include <map>

namespace marrowgate::test {
namespace {

using KeyboardTest = WindowTest;

// The access key of a caption ("E&xit": x), or none.
QChar AccessKey(const QString& text) {
    const QRegularExpressionMatch match = QRegularExpression("&([^&])").match(text);
    return match.hasMatch() ? match.captured(1).at(0).toLower() : QChar();
}

// Every control that takes the focus has an access key, on itself or on the
// label that names it, and no two share one; Alt with it presses the button
// or moves the focus to the control.
TEST_F(KeyboardTest, EveryControlHasItsOwnAccessKey) {
    std::map<QChar, QString> keys;
    const auto note = [&](const QString& text, QWidget* control) {
        const QChar key = AccessKey(text);
        EXPECT_FALSE(key.isNull()) << control->objectName().toStdString();
        EXPECT_EQ(keys.count(key), 0u) << "Alt+" << QString(key).toStdString() << " twice";
        keys[key] = control->objectName();
    };
    for (auto* button : window.findChildren<QPushButton*>()) {
        note(button->text(), button);
    }
    for (auto* label : window.findChildren<QLabel*>()) {
        if (label->buddy() != nullptr) {
            note(label->text(), label->buddy());
        }
    }
    EXPECT_EQ(keys[QChar('f')], "grdFiles1");
    EXPECT_EQ(keys[QChar('m')], "cboTarget");
    EXPECT_EQ(keys.size(), 7u);

    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_F, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), Grid());
    QTest::keyClick(&window, Qt::Key_M, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), TargetBox());
    // A button's access key presses it after a short show of being pressed.
    QTest::keyClick(&window, Qt::Key_C, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([this] { return !dialogs.browseTitles.isEmpty(); }, 2000));
    EXPECT_EQ(dialogs.browseTitles, QStringList{"Choose Source Folder..."});
    QTest::keyClick(&window, Qt::Key_H, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([this] { return !dialogs.opened.isEmpty(); }, 2000));
}

// Enter (either key) presses the button that has the focus, as Space does.
TEST_F(KeyboardTest, EnterPressesTheFocusedButton) {
    window.AddMessagePath("/store/a.eml");
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        dialogs.messages.clear();
        Button("cmdClear1")->setFocus();
        QTest::keyClick(Button("cmdClear1"), key);
        ASSERT_EQ(dialogs.messages.size(), 1u);
        EXPECT_TRUE(LastPrompt().startsWith("Do you want to clear all the files"));
    }
    Button("CmdHelp")->setFocus();
    QTest::keyClick(Button("CmdHelp"), Qt::Key_Return);
    EXPECT_EQ(dialogs.opened.size(), 1);
}

// The list with the focus outlines its current row in the highlight colour,
// the first row when none was current; without the focus it does not.
TEST_F(KeyboardTest, TheListShowsWhereTheFocusIs) {
    window.AddMessagePath("/store/Inbox/a.eml");
    window.AddMessagePath("/store/Inbox/b.eml");
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const auto outlined = [this] {
        QApplication::processEvents();
        const QRect cell = Grid()->visualRect(Grid()->model()->index(0, 0));
        const QImage image = Grid()->viewport()->grab().toImage();
        const QColor highlight = Grid()->palette().color(QPalette::Active, QPalette::Highlight);
        return QColor(image.pixel(cell.left() + 1, cell.center().y())) == highlight &&
               QColor(image.pixel(cell.center().x(), cell.top() + 1)) == highlight;
    };
    Button("CmdAddFolder")->setFocus();
    EXPECT_FALSE(outlined());
    Grid()->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(Grid()->currentIndex().row(), 0);
    EXPECT_TRUE(Grid()->selectionModel()->selectedIndexes().isEmpty()) << "nothing selected";
    EXPECT_TRUE(outlined());
    Button("CmdAddFolder")->setFocus();
    EXPECT_FALSE(outlined());
}

// Walks the accessible objects below `top`, into plain containers, and
// checks that each has a name and a description; returns how many it met.
int ExpectNamedAndDescribed(QObject* top) {
    QAccessibleInterface* root = QAccessible::queryAccessibleInterface(top);
    EXPECT_NE(root, nullptr);
    if (root == nullptr) {
        return 0;
    }
    int seen = 0;
    std::vector<QAccessibleInterface*> pending{root};
    while (!pending.empty()) {
        QAccessibleInterface* parent = pending.back();
        pending.pop_back();
        for (int i = 0; i < parent->childCount(); ++i) {
            QAccessibleInterface* child = parent->child(i);
            auto* widget = child != nullptr ? qobject_cast<QWidget*>(child->object()) : nullptr;
            if (widget == nullptr || !widget->isVisible()) {
                continue;
            }
            const std::string name = widget->objectName().toStdString();
            EXPECT_FALSE(child->text(QAccessible::Name).isEmpty()) << name;
            EXPECT_FALSE(child->text(QAccessible::Description).isEmpty()) << name;
            ++seen;
            if (child->role() == QAccessible::Client || child->role() == QAccessible::Grouping ||
                child->role() == QAccessible::Pane) {
                pending.push_back(child);
            }
        }
    }
    return seen;
}

// Screen readers find a name and a description for every control of the
// window, of the box that ends a run and of the help window.
TEST_F(KeyboardTest, EveryControlHasAnAccessibleNameAndDescription) {
    EXPECT_EQ(ExpectNamedAndDescribed(&window), 17) << "every control of the window";

    ReportDialog report({"The words.", "Details", true}, {}, &window);
    report.show();
    EXPECT_EQ(ExpectNamedAndDescribed(&report), 8) << "icon, words, caption, details, buttons";

    dialogs.shellOpens = false;
    Button("CmdHelp")->click();
    ASSERT_NE(window.HelpWindow(), nullptr);
    EXPECT_EQ(ExpectNamedAndDescribed(window.HelpWindow()), 3) << "notice, button, manual";
}

} // namespace
} // namespace marrowgate::test
