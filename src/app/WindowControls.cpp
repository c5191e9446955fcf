#include "app/WindowControls.h"

#include "app/BannerLabel.h"
#include "app/EdgeLayout.h"
#include "app/MessageGrid.h"
#include "app/MessageListModel.h"
#include "app/TargetChoice.h"
#include "app/Twips.h"
#include "app/WindowTexts.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>

namespace marrowgate {

namespace {

// Enter presses the button that has the focus, as Space does.
QPushButton* NewButton(QWidget* parent, const char* name, const QString& text,
                       const QRect& geometry, const QString& description) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(geometry);
    button->setAutoDefault(true);
    button->setAccessibleDescription(description);
    return button;
}

void Describe(QWidget* control, const QString& name, const QString& description) {
    if (!name.isEmpty()) {
        control->setAccessibleName(name);
    }
    control->setAccessibleDescription(description);
}

QLabel* NewLabel(QWidget* parent, const char* name, const QString& text, const QRect& geometry) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

WindowControls::WindowControls(QWidget& form, MessageListModel& list) {
    QWidget* parent = &form;
    Image2 = new BannerLabel(parent);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setGeometry(TwipsRect(0, 0, 9000, 1275));
    Image2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image2->SetBanner(QPixmap(QStringLiteral(":/images/banner.png")));
    Image2->setAccessibleName(QStringLiteral("Marrowgate"));
    CmdAddFolder = NewButton(
        parent, "CmdAddFolder", QStringLiteral("&Choose Windows Live Mail Store Folder..."),
        TwipsRect(240, 1440, 3495, 375),
        QStringLiteral("Lists every message file in a store folder and the folders below it"));
    cmdClear1 = NewButton(parent, "cmdClear1", QStringLiteral("C&lear File(s)..."),
                          TwipsRect(4080, 1440, 1695, 375),
                          QStringLiteral("Empties the list of message files, after asking"));
    lblCount1 = NewLabel(parent, "lblCount1", QString(), TwipsRect(270, 2040, 7695, 255));
    Describe(lblCount1, {}, QStringLiteral("How many message files the list holds"));
    ShowCount(0);

    grdFiles1 = NewMessageGrid(parent, &list);
    grdFiles1->setObjectName(QStringLiteral("grdFiles1"));
    grdFiles1->setGeometry(TwipsRect(240, 2280, 8535, 1575));
    Describe(grdFiles1, QStringLiteral("Message files"),
             QStringLiteral("The message files to convert, one a row, in the order converted"));
    lblCount1->setBuddy(grdFiles1);

    // The state and progress texts are the progress display's to write.
    Label4 = NewLabel(parent, "Label4", QString(), TwipsRect(240, 3960, 5295, 255));
    Describe(Label4, {}, QStringLiteral("What the program is doing"));
    Image1 = NewLabel(parent, "Image1", QString(), TwipsRect(240, 4275, 330, 330));
    Image1->setPixmap(QPixmap(QStringLiteral(":/images/progress.png")));
    Describe(Image1, QStringLiteral("Progress"),
             QStringLiteral("A letter on its way, beside the progress"));
    // "Message i (of m)", and to its right the figures that tell how long.
    LblProgessCurrent =
        NewLabel(parent, "LblProgessCurrent", QString(), TwipsRect(720, 4320, 2640, 255));
    Describe(LblProgessCurrent, {}, QStringLiteral("The message the conversion has come to"));
    lblProgressFigures =
        NewLabel(parent, "lblProgressFigures", QString(), TwipsRect(3420, 4320, 5355, 255));
    lblProgressFigures->setAlignment(Qt::AlignRight | Qt::AlignTop);
    Describe(lblProgressFigures, QStringLiteral("Progress figures"),
             QStringLiteral("Megabytes done of all, speed, time taken and time left"));

    ProgressBar1 = new QProgressBar(parent);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(TwipsRect(240, 4680, 8535, 255));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    Describe(ProgressBar1, QStringLiteral("Progress"),
             QStringLiteral("The share of the list converted, or checked after the conversion"));

    CmdConvert2PDF = NewButton(
        parent, "CmdConvert2PDF", QStringLiteral("Con&vert to Entourage"),
        TwipsRect(3120, 5040, 2775, 435),
        QStringLiteral("Asks for the folder that receives the mailboxes, then converts the list"));
    CmdConvert2PDF->setEnabled(false);
    // The mail program, right under the list's right end, beside the state.
    lblTarget = NewLabel(parent, "lblTarget", QStringLiteral("&Mail program:"),
                         TwipsRect(5655, 3960, 1155, 255));
    lblTarget->setAlignment(Qt::AlignRight | Qt::AlignTop);
    Describe(lblTarget, {}, QStringLiteral("Caption of the mail program chosen"));
    cboTarget = NewTargetChoice(parent);
    cboTarget->setGeometry(TwipsRect(6855, 3900, 1920, 345));
    Describe(cboTarget, QStringLiteral("Mail program"),
             QStringLiteral("The mail program the mailboxes are written for"));
    lblTarget->setBuddy(cboTarget);

    CreateBottomBand(form);

    // The written order, the mail program's box before the button it words.
    QWidget::setTabOrder(cmdClear1, CmdAddFolder);
    QWidget::setTabOrder(CmdAddFolder, grdFiles1);
    QWidget::setTabOrder(grdFiles1, cboTarget);
    QWidget::setTabOrder(cboTarget, CmdConvert2PDF);
    QWidget::setTabOrder(CmdConvert2PDF, cmdEnd);
    QWidget::setTabOrder(cmdEnd, CmdHelp);
    cmdClear1->setFocus();
}

// The white band along the bottom edge, with Help and Exit on it.
void WindowControls::CreateBottomBand(QWidget& form) {
    Shape1 = new QFrame(&form);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(TwipsRect(0, 5640, 9015, 855));
    Shape1->setFrameStyle(QFrame::Box | QFrame::Plain);
    Shape1->setLineWidth(1);
    // White on a light palette; the list's base colour on a dark one.
    Shape1->setBackgroundRole(QPalette::Base);
    Shape1->setAutoFillBackground(true);
    Describe(Shape1, QStringLiteral("Bottom band"),
             QStringLiteral("The band along the bottom edge that holds Help Manual and Exit"));

    Picture3 = new QWidget(&form);
    Picture3->setObjectName(QStringLiteral("Picture3"));
    Picture3->setGeometry(TwipsRect(240, 5760, 8655, 495));
    Picture3->setBackgroundRole(QPalette::Base);
    Picture3->setAutoFillBackground(true);
    Describe(Picture3, QStringLiteral("Help and exit"),
             QStringLiteral("Holds Help Manual and Exit"));
    ApplyPaletteColours(form.palette());

    CmdHelp = NewButton(Picture3, "CmdHelp", QStringLiteral("&Help Manual"),
                        TwipsRect(0, 0, 1695, 375), QStringLiteral("Opens the help manual"));
    cmdEnd = NewButton(Picture3, "cmdEnd", QStringLiteral("E&xit"), TwipsRect(7200, 0, 1335, 375),
                       QStringLiteral("Ends the program, after asking"));
}

void WindowControls::FollowEdges(EdgeLayout& layout) const {
    using Follow = EdgeLayout::Follow;
    const Follow wide{0, 0, 1, 0};
    const Follow wideBelow{0, 1, 1, 0};
    layout.Add(Image2, wide);
    layout.Add(CmdAddFolder, {});
    layout.Add(cmdClear1, {});
    layout.Add(lblCount1, wide);
    layout.Add(grdFiles1, {0, 0, 1, 1});
    for (QWidget* below :
         {static_cast<QWidget*>(Label4), static_cast<QWidget*>(lblProgressFigures),
          static_cast<QWidget*>(ProgressBar1), static_cast<QWidget*>(Shape1), Picture3}) {
        layout.Add(below, wideBelow);
    }
    layout.Add(Image1, {0, 1, 0, 0});
    layout.Add(LblProgessCurrent, {0, 1, 0, 0});
    layout.Add(lblTarget, {1, 1, 0, 0});
    layout.Add(cboTarget, {1, 1, 0, 0});
    layout.Add(CmdConvert2PDF, {0.5, 1, 0, 0});
    layout.Add(cmdEnd, {1, 0, 0, 0});
}

void WindowControls::ApplyPaletteColours(const QPalette& palette) {
    QPalette outline = Shape1->palette();
    outline.setColor(QPalette::WindowText, GridColoursFor(palette).lines);
    Shape1->setPalette(outline);
}

// The count is the list's caption: Alt+F takes the focus to the list.
void WindowControls::ShowCount(int rows) {
    lblCount1->setText(QString::number(rows) + QStringLiteral(" &files"));
}

void WindowControls::ShowTarget(const OutputTarget& target) {
    CmdConvert2PDF->setText(ConvertButtonText(target));
    Image2->SetTagline(BannerTagline(target));
}

} // namespace marrowgate
