#include "app/ReportDialog.h"

#include <QAbstractTextDocumentLayout>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTextEdit>

#include <algorithm>
#include <memory>
#include <utility>

namespace marrowgate {

namespace {

// Details shown without scrolling when the screen has room, and at least.
constexpr int kDetailLinesWanted = 18;
constexpr int kDetailLinesAtLeast = 3;
// The box's width in characters, as the closing words need it.
constexpr int kCharsAtLeast = 60;
constexpr int kCharsAtMost = 110;

// Texts break their lines with CR LF; Qt's text widgets want LF alone.
QString WithLineFeeds(const QString& text) {
    return QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QLabel* NewIcon(QWidget* parent, bool warning) {
    auto* icon = new QLabel(parent);
    icon->setObjectName(QStringLiteral("lblIcon"));
    const QStyle* style = parent->style();
    const int size = style->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, parent);
    icon->setPixmap(style
                        ->standardIcon(warning ? QStyle::SP_MessageBoxWarning
                                               : QStyle::SP_MessageBoxInformation,
                                       nullptr, parent)
                        .pixmap(size, size));
    icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    icon->setAccessibleName(warning ? QStringLiteral("Warning") : QStringLiteral("Information"));
    icon->setAccessibleDescription(warning ? QStringLiteral("Not everything went through")
                                           : QStringLiteral("Everything went through"));
    return icon;
}

// The closing words: read like a message box's, but selectable, and a long
// path in them wraps rather than widening the box past the screen.
QTextEdit* NewText(QWidget* parent, const QString& text) {
    auto* edit = new QTextEdit(parent);
    edit->setObjectName(QStringLiteral("txtSummary"));
    edit->setReadOnly(true);
    edit->setFrameShape(QFrame::NoFrame);
    edit->setBackgroundRole(QPalette::Window);
    edit->viewport()->setBackgroundRole(QPalette::Window);
    edit->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    edit->setTabChangesFocus(true);
    edit->setPlainText(WithLineFeeds(text));
    edit->document()->setDocumentMargin(0);
    edit->setAccessibleName(QStringLiteral("Summary"));
    edit->setAccessibleDescription(QStringLiteral("How the conversion went and what to do next"));
    return edit;
}

// One entry a line, never wrapped: a long line scrolls sideways.
QPlainTextEdit* NewDetails(QWidget* parent, const QString& details) {
    auto* edit = new QPlainTextEdit(WithLineFeeds(details), parent);
    edit->setObjectName(QStringLiteral("txtDetails"));
    edit->setReadOnly(true);
    edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    edit->setTabChangesFocus(true);
    edit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    edit->setAccessibleName(QStringLiteral("Details"));
    edit->setAccessibleDescription(
        QStringLiteral("The figures of the run, its folders, and every message that failed or "
                       "did not verify, one a line"));
    return edit;
}

} // namespace

ReportDialog::ReportDialog(const SummaryReport& report, std::function<void(QWidget*)> saveReport,
                           QWidget* owner)
    : QDialog(owner), saveReport_(std::move(saveReport)), text_(NewText(this, report.text)),
      details_(NewDetails(this, report.details)) {
    setObjectName(QStringLiteral("ReportDialog"));
    setWindowTitle(QStringLiteral("Marrowgate"));
    auto* caption = new QLabel(QStringLiteral("&Details:"), this);
    caption->setObjectName(QStringLiteral("lblDetails"));
    caption->setBuddy(details_);
    caption->setAccessibleName(QStringLiteral("Details"));
    caption->setAccessibleDescription(QStringLiteral("Caption of the details below"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(NewIcon(this, report.warning), 0, 0);
    grid->addWidget(text_, 0, 1);
    grid->addWidget(caption, 1, 0, 1, 2);
    grid->addWidget(details_, 2, 0, 1, 2);
    grid->addWidget(NewButtons(report.inFolder), 3, 0, 1, 2);
    grid->setRowStretch(2, 1);
    grid->setColumnStretch(1, 1);

    connect(text_->document()->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged,
            this, [this] { FitText(); });
    FitToScreen();
}

QWidget* ReportDialog::NewButtons(bool inFolder) {
    auto* box = new QDialogButtonBox(this);
    box->setAccessibleName(QStringLiteral("Buttons"));
    box->setAccessibleDescription(QStringLiteral("Save Report, Open Mailbox Folder and OK"));
    QPushButton* save =
        box->addButton(QStringLiteral("&Save Report..."), QDialogButtonBox::ActionRole);
    save->setObjectName(QStringLiteral("cmdSaveReport"));
    save->setAccessibleDescription(QStringLiteral("Saves the summary and the details as a text "
                                                  "file"));
    QPushButton* open =
        box->addButton(QStringLiteral("&Open Mailbox Folder"), QDialogButtonBox::ActionRole);
    open->setObjectName(QStringLiteral("cmdOpenFolder"));
    open->setAccessibleDescription(QStringLiteral("Opens the folder that holds the mailboxes"));
    QPushButton* ok = box->addButton(QDialogButtonBox::Ok);
    ok->setObjectName(QStringLiteral("cmdOk"));
    ok->setAccessibleDescription(QStringLiteral("Closes this summary"));
    ok->setDefault(true);
    ok->setFocus();
    connect(save, &QPushButton::clicked, this, [this] {
        if (saveReport_) {
            saveReport_(this);
        }
    });
    open->setVisible(inFolder); // an account is no folder of the desktop
    connect(open, &QPushButton::clicked, this, [this] {
        openFolder_ = true;
        accept();
    });
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    return box;
}

// The closing words take the height they need at the width they have (or,
// before the box is laid out, at `width`), up to a third of the screen;
// beyond that they scroll.
void ReportDialog::FitText(int width) {
    const QScreen* at = screen();
    const int cap = at != nullptr ? at->availableGeometry().height() / 3 : 400;
    double textHeight = text_->document()->size().height();
    if (width > 0) {
        std::unique_ptr<QTextDocument> measure(text_->document()->clone());
        measure->setTextWidth(width);
        textHeight = measure->size().height();
    }
    const int needed = static_cast<int>(textHeight) + 2;
    text_->setFixedHeight(std::min(needed, cap));
    text_->setVerticalScrollBarPolicy(needed > cap ? Qt::ScrollBarAsNeeded
                                                   : Qt::ScrollBarAlwaysOff);
}

// Wide enough for the closing words' longest line where the screen allows,
// up to what reads well, tall enough for 18 lines of details, and never
// larger than the room the screen leaves for a frame.
void ReportDialog::FitToScreen() {
    const QScreen* at = parentWidget() != nullptr ? parentWidget()->screen() : screen();
    const QSize room =
        at != nullptr ? at->availableGeometry().size() - QSize(16, 48) : QSize(800, 600);
    const QFontMetrics metrics(details_->font());
    QTextDocument unwrapped;
    unwrapped.setDefaultFont(text_->font());
    unwrapped.setDocumentMargin(0);
    unwrapped.setPlainText(text_->toPlainText());
    const int iconWidth = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    const int wanted = static_cast<int>(unwrapped.idealWidth()) + iconWidth + 48;
    const int width = std::min(std::clamp(wanted, metrics.averageCharWidth() * kCharsAtLeast,
                                          metrics.averageCharWidth() * kCharsAtMost),
                               room.width());

    const int detailLines = std::clamp(static_cast<int>(details_->document()->blockCount()),
                                       kDetailLinesAtLeast, kDetailLinesWanted);
    details_->setMinimumHeight(metrics.lineSpacing() * kDetailLinesAtLeast + 12);
    FitText(width - iconWidth - 48);
    // The heights just set are not in the layout's figures until it is told.
    layout()->invalidate();
    const int height = layout()->sizeHint().height() - details_->sizeHint().height() +
                       metrics.lineSpacing() * detailLines + 12;
    setMinimumSize(layout()->minimumSize().boundedTo(room));
    resize(QSize(width, height).boundedTo(room));
}

} // namespace marrowgate
