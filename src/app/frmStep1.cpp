#include "app/frmStep1.h"

#include "app/BannerLabel.h"
#include "app/ConversionProgress.h"
#include "app/DroppedFolders.h"
#include "app/HelpViewer.h"
#include "app/ListConversion.h"
#include "app/MessageListModel.h"
#include "app/TargetChoice.h"
#include "app/Twips.h"
#include "app/UnfinishedRun.h"
#include "app/WaitCursor.h"
#include "app/WindowControls.h"
#include "app/WindowPlacement.h"
#include "app/WindowSettings.h"
#include "app/WindowTexts.h"
#include "marrowgate/MessageFileFilter.h"
#include "marrowgate/StoreScan.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QIcon>
#include <QPushButton>
#include <QTableView>

#include <algorithm>
#include <exception>
#include <memory>
#include <string>
#include <utility>

namespace marrowgate {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// The list at its least: two rows, its frame and a scroll bar below; and the
// banner's height, which it gives up below that.
constexpr int kListLeast = 2 * TwipsToPixels(240) + 4 + 18;
constexpr int kBanner = TwipsToPixels(1275);

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 128, 256}) {
        icon.addFile(QStringLiteral(":/icons/marrowgate-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

} // namespace

frmStep1::frmStep1(UserDialogs& dialogs, QWidget* parent)
    : QWidget(parent), dialogs_(dialogs), layout_(DesignedSize()) {
    Form_Initialize();
    CreateControls();
    Form_Load();
    // The controls stand where they were placed at the designed size.
    controls_->FollowEdges(layout_);
    layout_.SetTopBand(controls_->Image2, SmallestSize().height() + kBanner);
    resize(OpeningSize(WindowSettings::Size(), DesignedSize(), SmallestSize()));
    CentreOnScreen(*this);
}

QSize frmStep1::DesignedSize() {
    return {TwipsToPixels(8985), TwipsToPixels(6270)};
}

// Room for the bottom buttons side by side and two rows of the list, without
// the banner: at twice the scale a small screen has no more room.
QSize frmStep1::SmallestSize() {
    return DesignedSize() - QSize(180, TwipsToPixels(1575) - kListLeast + kBanner);
}

frmStep1::~frmStep1() = default;

// Window-level settings, before any control exists.
void frmStep1::Form_Initialize() {
    setObjectName(QStringLiteral("frmStep1"));
    setWindowTitle(QStringLiteral("Marrowgate"));
    setWindowIcon(ProgramIcon());
    // Tahoma 8.25 pt; where it is missing, a sans of similar width.
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    font.setPointSizeF(8.25);
    font.setWeight(QFont::Normal);
    setFont(font);
    resize(DesignedSize());
    setMinimumSize(SmallestSize());
    setAcceptDrops(true);
}

void frmStep1::CreateControls() {
    messageList_ = new MessageListModel(this);
    controls_ = std::make_unique<WindowControls>(*this, *messageList_);
    const WindowControls& shown = *controls_;
    progress_ = std::make_unique<ConversionProgress>(
        *messageList_, ConversionProgress::Controls{
                           *this, *shown.grdFiles1, *shown.Label4, *shown.LblProgessCurrent,
                           *shown.lblProgressFigures, *shown.ProgressBar1});
    conversion_ = std::make_unique<ListConversion>(*this, dialogs_, *messageList_, *progress_,
                                                   yield_, [this] { return closeRequested_; });

    const WindowControls& c = *controls_;
    connect(c.CmdAddFolder, &QPushButton::clicked, this, &frmStep1::CmdAddFolder_Click);
    connect(c.cmdClear1, &QPushButton::clicked, this, &frmStep1::cmdClear1_Click);
    connect(c.CmdConvert2PDF, &QPushButton::clicked, this, &frmStep1::CmdConvert2PDF_Click);
    connect(c.cboTarget, &QComboBox::currentIndexChanged, this, [this] {
        WindowSettings::SetTarget(controls_->cboTarget->currentData().toString());
        controls_->ShowTarget(ChosenTarget(controls_->cboTarget));
    });
    connect(c.cboTarget, &QComboBox::activated, this, &frmStep1::TargetActivated);
    connect(c.CmdHelp, &QPushButton::clicked, this, &frmStep1::CmdHelp_Click);
    connect(c.cmdEnd, &QPushButton::clicked, this, &frmStep1::cmdEnd_Click);
}

// The controls exist: the list's only column gets its width.
void frmStep1::Form_Load() {
    controls_->grdFiles1->setColumnWidth(0, TwipsToPixels(10000));
    ChooseTarget(controls_->cboTarget, WindowSettings::Target());
    controls_->ShowTarget(ChosenTarget(controls_->cboTarget));
    lastTarget_ = controls_->cboTarget->currentData().toString();
}

void frmStep1::TargetActivated() {
    const bool account = ChosenTarget(controls_->cboTarget).GetKind() == OutputTarget::Kind::Imap;
    if (account && !output_.AskAccount(this) && !output_.HasAccount()) {
        ChooseTarget(controls_->cboTarget, lastTarget_);
    }
    lastTarget_ = controls_->cboTarget->currentData().toString();
}

void frmStep1::Form_Unload() {
    WindowSettings::SetSize(isMaximized() || isFullScreen() ? normalGeometry().size() : size());
    emit Unloaded();
}

void frmStep1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layout_.Apply(size());
    // The column keeps its designed width, and fills a wider list.
    controls_->grdFiles1->setColumnWidth(
        0, std::max(TwipsToPixels(10000), controls_->grdFiles1->viewport()->width()));
}

// The desktop's theme changed while the window is open.
void frmStep1::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && controls_ != nullptr) {
        controls_->ApplyPaletteColours(palette());
    }
}

void frmStep1::closeEvent(QCloseEvent* event) {
    if (!std::exchange(closeAgreed_, false) && !MayClose()) {
        event->ignore();
        return;
    }
    if (busy_ != Busy::Idle) {
        // A command further down the stack is yielding. It stops at its next
        // safe point (never inside a mailbox record) and closes the window.
        closeRequested_ = true;
        event->ignore();
        return;
    }
    closeRequested_ = false;
    event->accept();
    Form_Unload();
}

// The close box asks as Exit does; during a conversion both ask whether to
// stop after the message in hand, and the user is told where the conversion
// stopped before the window goes.
bool frmStep1::MayClose() {
    if (closeRequested_) {
        return true;
    }
    if (busy_ == Busy::Converting) {
        tellWhereStopped_ =
            Confirm(QStringLiteral("A conversion is running. Stop after the current message?"));
        return tellWhereStopped_;
    }
    return Confirm(QStringLiteral("Are you sure you want to exit now?"));
}

void frmStep1::CloseWithoutAsking() {
    closeAgreed_ = true;
    close();
}

bool frmStep1::FinishPendingClose() {
    if (!closeRequested_) {
        return false;
    }
    if (std::exchange(tellWhereStopped_, false) && !stoppedText_.isEmpty()) {
        Tell(stoppedText_, MessageIcon::Information);
    }
    CloseWithoutAsking();
    return true;
}

bool frmStep1::Confirm(const QString& prompt) {
    return dialogs_.MsgBox(this, prompt, MessageIcon::Question) == Answer::Yes;
}

void frmStep1::Tell(const QString& prompt, MessageIcon icon) {
    dialogs_.MsgBox(this, prompt, icon);
}

void frmStep1::AddMessagePath(const QString& path) {
    messageList_->Append(path);
    controls_->ShowCount(messageList_->RowCount());
}

bool frmStep1::AddMessageFile(const std::string& path) {
    if (!messageList_->AppendFileNameIfNew(path)) {
        return false;
    }
    controls_->ShowCount(messageList_->RowCount());
    return true;
}

void frmStep1::ClearMessageList() {
    messageList_->Clear();
    stores_.Clear();
    controls_->ShowCount(0);
}

void frmStep1::cmdClear1_Click() {
    if (busy_ == Busy::Converting || messageList_->Path(0).isEmpty()) {
        return;
    }
    if (Confirm(QStringLiteral("Do you want to clear all the files in the list") + kCrLf +
                QStringLiteral(" Proceed?"))) {
        ClearMessageList();
    }
}

void frmStep1::CmdAddFolder_Click() {
    if (busy_ != Busy::Idle) {
        return;
    }
    // The folder picked last, else the store the user's mail program keeps,
    // which Explorer hides.
    const auto found = FindMailStore();
    QString start = WindowSettings::SourceFolder();
    if (found && (start.isEmpty() || !QFileInfo(start).isDir())) {
        start = QString::fromStdString(found->folder);
    }
    const QString folder = dialogs_.BrowseForFolder(this, StoreDialogTitle(found), start);
    if (folder.isEmpty()) {
        return;
    }
    WindowSettings::SetSourceFolder(folder);
    ImportStoreFolders({folder});
}

void frmStep1::dragEnterEvent(QDragEnterEvent* event) {
    if (busy_ == Busy::Idle && !DroppedFolders(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void frmStep1::dropEvent(QDropEvent* event) {
    const QStringList folders = DroppedFolders(event->mimeData());
    if (busy_ != Busy::Idle || folders.isEmpty()) {
        return;
    }
    event->acceptProposedAction();
    WindowSettings::SetSourceFolder(folders.back());
    ImportStoreFolders(folders);
}

// Lists the message files below each folder that the list does not hold yet,
// and says how many were added.
void frmStep1::ImportStoreFolders(const QStringList& folders, bool tellAdded) {
    WaitCursor wait;
    int added = 0;
    for (const QString& folder : folders) {
        const std::string store = stores_.Add(folder);
        std::vector<std::string> files;
        try {
            files = CollectFiles(store);
        } catch (const std::exception& error) {
            wait.Restore();
            controls_->CmdConvert2PDF->setEnabled(!messageList_->IsEmpty());
            Tell(WalkFailedText(error.what()), MessageIcon::Critical);
            return;
        }
        // A clear stays possible between two files; a second import or a
        // conversion does not.
        CommandLock lock(busy_, Busy::Importing,
                         {controls_->CmdAddFolder, controls_->CmdConvert2PDF});
        for (const std::string& entry : files) {
            yield_();
            if (closeRequested_) {
                break;
            }
            if (!IsMessageFilePath(entry)) {
                continue;
            }
            yield_();
            if (closeRequested_) {
                break;
            }
            added += AddMessageFile(entry) ? 1 : 0;
        }
        if (closeRequested_) {
            break;
        }
    }
    wait.Restore();
    // Whatever this import found, the list's files can be converted.
    controls_->CmdConvert2PDF->setEnabled(!messageList_->IsEmpty());
    if (FinishPendingClose() || !tellAdded) {
        return;
    }
    Tell(FilesAddedText(added), MessageIcon::None);
}

void frmStep1::CmdConvert2PDF_Click() {
    if (busy_ != Busy::Idle) {
        return;
    }
    if (messageList_->IsEmpty()) {
        Tell(NothingToConvertText(), MessageIcon::Information);
        return;
    }
    if (const auto output = output_.Choose(this, ChosenTarget(controls_->cboTarget))) {
        ConvertInto(*output);
    }
}

// When the output folder used last holds a conversion that did not finish,
// offers to finish it: its stores are listed again and converted into the
// same folder, which passes over every message there already.
void frmStep1::OfferToFinish() {
    const std::optional<UnfinishedRun> run = FindUnfinishedRun(WindowSettings::OutputFolder());
    if (!run || busy_ != Busy::Idle) {
        return;
    }
    if (!Confirm(FinishQuestionText(run->outputFolder, run->stores, run->converted))) {
        DeclineToFinish(*run);
        return;
    }
    ChooseTarget(controls_->cboTarget, run->target);
    ClearMessageList();
    ImportStoreFolders(run->stores, false);
    if (!closeRequested_ && !messageList_->IsEmpty()) {
        ConvertInto(run->outputFolder);
    }
}

void frmStep1::ConvertInto(const QString& outputRoot) {
    RunOptions options;
    options.target = ChosenTarget(controls_->cboTarget);
    options.stores = stores_.All();
    output_.Apply(options);
    ListConversion::Outcome outcome;
    {
        const WindowControls& c = *controls_;
        CommandLock lock(busy_, Busy::Converting,
                         {c.CmdAddFolder, c.cmdClear1, c.cboTarget, c.CmdConvert2PDF});
        outcome = conversion_->Run(outputRoot, options);
    }
    // Where a stop left the list, said once more before the window closes.
    stoppedText_ = conversion_->WhereItStopped(outcome, outputRoot);
    if (FinishPendingClose()) {
        return;
    }
    if (outcome.unexpected) {
        Tell(QStringLiteral("The conversion stopped:") + kCrLf + *outcome.unexpected,
             MessageIcon::Critical);
        return;
    }
    conversion_->Report(outcome, outputRoot, options.target);
}

// Without a browser (or any handler for the page) the manual opens in a
// window of the program's own, which says why and where the manual is.
void frmStep1::CmdHelp_Click() {
    const QString manual = HelpViewer::ManualPath(QCoreApplication::applicationDirPath());
    if (dialogs_.OpenWithShell(manual)) {
        return;
    }
    if (!helpViewer_) {
        helpViewer_ = new HelpViewer(manual, this);
        helpViewer_->ShowNotice(
            QStringLiteral("No web browser opened the manual, so it is shown here. It is at:"),
            manual);
    }
    helpViewer_->show();
    helpViewer_->raise();
    helpViewer_->activateWindow();
}

HelpViewer* frmStep1::HelpWindow() const {
    return helpViewer_;
}

void frmStep1::cmdEnd_Click() {
    if (MayClose()) {
        CloseWithoutAsking();
    }
}

} // namespace marrowgate
