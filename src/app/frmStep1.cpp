#include "app/frmStep1.h"

#include "app/BannerLabel.h"
#include "app/HelpViewer.h"
#include "app/MailboxesFolder.h"
#include "app/MessageGrid.h"
#include "app/MessageListModel.h"
#include "app/TargetChoice.h"
#include "app/Twips.h"
#include "app/WaitCursor.h"
#include "app/WindowSettings.h"
#include "app/WindowTexts.h"
#include "convert/ConversionRun.h"
#include "convert/OutputVerifier.h"
#include "convert/PathDerivation.h"
#include "list/MessageFileFilter.h"
#include "list/StoreScan.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QMimeData>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QUrl>

#include <algorithm>
#include <exception>
#include <optional>
#include <string>
#include <utility>

namespace marrowgate {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

const QString kIdleText = QStringLiteral("No conversion running.");
const QString kConvertingText = QStringLiteral("Converting Messages...");
const QString kVerifyingText = QStringLiteral("Verifying Messages...");

QString CountText(int rows) {
    return QString::number(rows) + QStringLiteral(" files");
}

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 128, 256}) {
        icon.addFile(QStringLiteral(":/icons/marrowgate-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

// The local folders among dropped addresses.
QStringList DroppedFolders(const QMimeData* data) {
    QStringList folders;
    if (data == nullptr) {
        return folders;
    }
    for (const QUrl& url : data->urls()) {
        const QFileInfo info(url.toLocalFile());
        if (url.isLocalFile() && info.isDir()) {
            folders << QDir::toNativeSeparators(info.absoluteFilePath());
        }
    }
    return folders;
}

} // namespace

frmStep1::frmStep1(UserDialogs& dialogs, QWidget* parent)
    : QWidget(parent), dialogs_(dialogs), layout_(DesignedSize()) {
    Form_Initialize();
    CreateControls();
    Form_Load();
    LayOutForResizing();
    // The size it was closed at, or the designed one; within the screen with
    // room for a frame, which is unknown before the window is shown (at a
    // large scale factor the designed size may not fit), but never below the
    // smallest.
    const QSize kept = WindowSettings::Size();
    const QSize wanted = kept.isValid() ? kept : DesignedSize();
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize room = screen ? screen->availableSize() - QSize(16, 40) : wanted;
    resize(wanted.boundedTo(room).expandedTo(SmallestSize()));
    CentreOnScreen();
}

QSize frmStep1::DesignedSize() {
    return {TwipsToPixels(8985), TwipsToPixels(6270)};
}

// Room for the bottom buttons side by side and two rows of the list.
QSize frmStep1::SmallestSize() {
    return DesignedSize() - QSize(180, 48);
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

    auto* banner = new BannerLabel(this);
    banner->setObjectName(QStringLiteral("Image2"));
    banner->setGeometry(TwipsRect(0, 0, 9000, 1275));
    banner->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    banner->SetBanner(QPixmap(QStringLiteral(":/images/banner.png")));
    Image2 = banner;
    CmdAddFolder =
        NewButton(this, "CmdAddFolder", QStringLiteral("Choose Windows Live Mail Store Folder..."),
                  TwipsRect(240, 1440, 3495, 375));
    cmdClear1 = NewButton(this, "cmdClear1", QStringLiteral("Clear File(s)..."),
                          TwipsRect(4080, 1440, 1695, 375));
    lblCount1 = NewLabel("lblCount1", CountText(0), TwipsRect(270, 2040, 7695, 255));

    grdFiles1 = NewMessageGrid(this, messageList_);
    grdFiles1->setObjectName(QStringLiteral("grdFiles1"));
    grdFiles1->setGeometry(TwipsRect(240, 2280, 8535, 1575));

    Label4 = NewLabel("Label4", kIdleText, TwipsRect(240, 3960, 5295, 255));
    Image1 = NewLabel("Image1", QString(), TwipsRect(240, 4275, 330, 330));
    Image1->setPixmap(QPixmap(QStringLiteral(":/images/progress.png")));
    LblProgessCurrent = NewLabel("LblProgessCurrent", QStringLiteral("Message 0 (of 0)"),
                                 TwipsRect(720, 4320, 8055, 255));

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(TwipsRect(240, 4680, 8535, 255));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    CmdConvert2PDF = NewButton(this, "CmdConvert2PDF", QStringLiteral("Convert to Entourage"),
                               TwipsRect(3120, 5040, 2775, 435));
    CmdConvert2PDF->setEnabled(false);
    // The mail program, right under the list's right end, beside the state.
    lblTarget =
        NewLabel("lblTarget", QStringLiteral("Mail program:"), TwipsRect(5655, 3960, 1155, 255));
    lblTarget->setAlignment(Qt::AlignRight | Qt::AlignTop);
    cboTarget = NewTargetChoice(this);
    cboTarget->setGeometry(TwipsRect(6855, 3900, 1920, 345));
    lblTarget->setBuddy(cboTarget);

    CreateBottomBand();

    // Left to right, top to bottom, as the controls stand.
    setTabOrder(CmdAddFolder, cmdClear1);
    setTabOrder(cmdClear1, grdFiles1);
    setTabOrder(grdFiles1, cboTarget);
    setTabOrder(cboTarget, CmdConvert2PDF);
    setTabOrder(CmdConvert2PDF, CmdHelp);
    setTabOrder(CmdHelp, cmdEnd);
    CmdAddFolder->setFocus();

    connect(CmdAddFolder, &QPushButton::clicked, this, &frmStep1::CmdAddFolder_Click);
    connect(cmdClear1, &QPushButton::clicked, this, &frmStep1::cmdClear1_Click);
    connect(CmdConvert2PDF, &QPushButton::clicked, this, &frmStep1::CmdConvert2PDF_Click);
    connect(cboTarget, &QComboBox::currentIndexChanged, this,
            [this] { WindowSettings::SetTarget(cboTarget->currentData().toString()); });
    connect(CmdHelp, &QPushButton::clicked, this, &frmStep1::CmdHelp_Click);
    connect(cmdEnd, &QPushButton::clicked, this, &frmStep1::cmdEnd_Click);
}

// The white band along the bottom edge, with Help and Exit on it.
void frmStep1::CreateBottomBand() {
    Shape1 = new QFrame(this);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(TwipsRect(0, 5640, 9015, 855));
    Shape1->setFrameStyle(QFrame::Box | QFrame::Plain);
    Shape1->setLineWidth(1);
    // White on a light palette; the list's base colour on a dark one.
    Shape1->setBackgroundRole(QPalette::Base);
    Shape1->setAutoFillBackground(true);

    Picture3 = new QWidget(this);
    Picture3->setObjectName(QStringLiteral("Picture3"));
    Picture3->setGeometry(TwipsRect(240, 5760, 8655, 495));
    Picture3->setBackgroundRole(QPalette::Base);
    Picture3->setAutoFillBackground(true);
    ApplyPaletteColours();

    CmdHelp =
        NewButton(Picture3, "CmdHelp", QStringLiteral("&Help Manual"), TwipsRect(0, 0, 1695, 375));
    cmdEnd = NewButton(Picture3, "cmdEnd", QStringLiteral("E&xit"), TwipsRect(7200, 0, 1335, 375));
}

QPushButton* frmStep1::NewButton(QWidget* parent, const char* name, const QString& text,
                                 const QRect& geometry) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    return button;
}

QLabel* frmStep1::NewLabel(const char* name, const QString& text, const QRect& geometry) {
    auto* label = new QLabel(text, this);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// The controls exist: the list's only column gets its width.
void frmStep1::Form_Load() {
    grdFiles1->setColumnWidth(0, TwipsToPixels(10000));
    ChooseTarget(cboTarget, WindowSettings::Target());
}

void frmStep1::Form_Unload() {
    WindowSettings::SetSize(isMaximized() || isFullScreen() ? normalGeometry().size() : size());
    emit Unloaded();
}

// The controls stand where they were placed at the designed size; as the
// window grows, the list and the full-width lines grow with it, the controls
// below the list move down, the conversion button stays centred and Exit
// and the mail program keep to the right edge.
void frmStep1::LayOutForResizing() {
    using Follow = EdgeLayout::Follow;
    const Follow wide{0, 0, 1, 0};
    const Follow wideBelow{0, 1, 1, 0};
    layout_.Add(Image2, wide);
    layout_.Add(lblCount1, wide);
    layout_.Add(grdFiles1, {0, 0, 1, 1});
    for (QWidget* below :
         {static_cast<QWidget*>(Label4), static_cast<QWidget*>(LblProgessCurrent),
          static_cast<QWidget*>(ProgressBar1), static_cast<QWidget*>(Shape1), Picture3}) {
        layout_.Add(below, wideBelow);
    }
    layout_.Add(Image1, {0, 1, 0, 0});
    layout_.Add(lblTarget, {1, 1, 0, 0});
    layout_.Add(cboTarget, {1, 1, 0, 0});
    layout_.Add(CmdConvert2PDF, {0.5, 1, 0, 0});
    layout_.Add(cmdEnd, {1, 0, 0, 0});
}

void frmStep1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layout_.Apply(size());
    // The column keeps its designed width, and fills a wider list.
    grdFiles1->setColumnWidth(0, std::max(TwipsToPixels(10000), grdFiles1->viewport()->width()));
}

// The band's outline: the designed light grey, or on a dark palette a grey
// between its base and text.
void frmStep1::ApplyPaletteColours() {
    QPalette outline = Shape1->palette();
    outline.setColor(QPalette::WindowText, GridColoursFor(palette()).lines);
    Shape1->setPalette(outline);
}

// The desktop's theme changed while the window is open.
void frmStep1::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && Shape1 != nullptr) {
        ApplyPaletteColours();
    }
}

void frmStep1::CentreOnScreen() {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
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

// The close box asks as Exit does; during a conversion it asks whether to stop
// after the message in hand.
bool frmStep1::MayClose() {
    if (closeRequested_) {
        return true;
    }
    if (busy_ == Busy::Converting) {
        return Confirm(QStringLiteral("A conversion is running. Stop after the current message?"));
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
    CloseWithoutAsking();
    return true;
}

bool frmStep1::Confirm(const QString& prompt) {
    return dialogs_.MsgBox(this, prompt, MessageIcon::Question) == Answer::Yes;
}

void frmStep1::Tell(const QString& prompt, MessageIcon icon) {
    dialogs_.MsgBox(this, prompt, icon);
}

QString frmStep1::HelpManualPath(const QString& programFolder) {
    const QDir folder(programFolder);
    const QString page = QStringLiteral("/entourage/index.html");
    const QString installed =
        QDir::cleanPath(folder.filePath(QStringLiteral(MARROWGATE_HELP_FROM_PROGRAM) + page));
    for (const QString& candidate : {folder.filePath(QStringLiteral("help") + page), installed}) {
        if (QFileInfo::exists(candidate)) {
            return QDir::toNativeSeparators(candidate);
        }
    }
    return QDir::toNativeSeparators(installed);
}

void frmStep1::AddMessagePath(const QString& path) {
    messageList_->Append(path);
    lblCount1->setText(CountText(messageList_->RowCount()));
}

bool frmStep1::AddMessageFile(const std::string& path) {
    if (!messageList_->AppendFileNameIfNew(path)) {
        return false;
    }
    lblCount1->setText(CountText(messageList_->RowCount()));
    return true;
}

void frmStep1::ClearMessageList() {
    messageList_->Clear();
    stores_.clear();
    lblCount1->setText(CountText(0));
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
    const QString folder = dialogs_.BrowseForFolder(this, QStringLiteral("Choose Source Folder..."),
                                                    WindowSettings::SourceFolder());
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
void frmStep1::ImportStoreFolders(const QStringList& folders) {
    WaitCursor wait;
    int added = 0;
    for (const QString& folder : folders) {
        storeFolder_ = folder;
        if (!storeFolder_.endsWith(QDir::separator())) {
            storeFolder_ += QDir::separator();
        }
        // A folder inside a store listed before stays part of that store's
        // tree: its messages keep the mailboxes they had.
        const std::string store = storeFolder_.toStdString();
        if (std::none_of(stores_.begin(), stores_.end(),
                         [&store](const std::string& outer) { return store.starts_with(outer); })) {
            stores_.push_back(store);
        }
        CollectionHandle<std::string> files;
        try {
            files = CollectFiles(storeFolder_.toStdString());
        } catch (const std::exception& error) {
            wait.Restore();
            CmdConvert2PDF->setEnabled(!messageList_->IsEmpty());
            Tell(WalkFailedText(error.what()), MessageIcon::Critical);
            return;
        }
        // A clear stays possible between two files; a second import or a
        // conversion does not.
        CommandLock lock(busy_, Busy::Importing, {CmdAddFolder, CmdConvert2PDF});
        for (const std::string& entry : *files) {
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
    CmdConvert2PDF->setEnabled(!messageList_->IsEmpty());
    if (FinishPendingClose()) {
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
    const QString outputRoot = dialogs_.BrowseForOutputFolder(
        this, QStringLiteral("Choose Folder to Save..."), WindowSettings::OutputFolder());
    if (outputRoot.isEmpty()) {
        return;
    }
    WindowSettings::SetOutputFolder(outputRoot);

    RunOptions options;
    options.target = ChosenTarget(cboTarget);
    options.stores = stores_;
    RunResult result;
    std::optional<QString> unexpected;
    std::optional<VerifyReport> verification;
    {
        CommandLock lock(busy_, Busy::Converting,
                         {CmdAddFolder, cmdClear1, cboTarget, CmdConvert2PDF});
        convertingRow_ = -1;
        stoppedAtFailure_ = false;
        Label4->setText(kConvertingText);
        ProgressBar1->setRange(0, 100);
        try {
            result =
                RunConversion(*messageList_, outputRoot.toStdString(), ConversionHooks(), options);
        } catch (const std::exception& error) {
            unexpected = QString::fromStdString(error.what());
        }
        ShowPendingProgress();
        ShowConvertingRow();
        // A run that ended early leaves the rest of the list unconverted, not wrong.
        if (!unexpected && !result.stopped && !stoppedAtFailure_ && !result.nothingToConvert &&
            !closeRequested_) {
            verification = VerifyConverted(outputRoot, options.target);
        }
        Label4->setText(kIdleText);
    }
    if (FinishPendingClose()) {
        return;
    }
    if (unexpected) {
        Tell(QStringLiteral("The conversion stopped:") + kCrLf + *unexpected,
             MessageIcon::Critical);
        return;
    }
    ReportRun(result, outputRoot, options.target, verification ? &*verification : nullptr);
}

// Reads every converted message back from the output, as the command line's
// --verify does; a close stops it between two messages.
VerifyReport frmStep1::VerifyConverted(const QString& outputRoot, const OutputTarget& target) {
    Label4->setText(kVerifyingText);
    try {
        return VerifyRows(
            *messageList_, stores_, NormaliseOutputRoot(outputRoot.toStdString()), target,
            [this] {
                if (yield_.Due()) {
                    yield_();
                }
            },
            [this] { return closeRequested_; });
    } catch (const std::exception& error) {
        VerifyReport failed;
        failed.problems.push_back({outputRoot.toStdString(), error.what()});
        return failed;
    }
}

RunHooks frmStep1::ConversionHooks() {
    RunHooks hooks;
    // Moving the grid's current row to each row converted, with its
    // selection and scrolling, or laying out the progress text anew, would
    // cost more than the conversion of a small message: the grid and the
    // progress display follow the run when the window gets to repaint.
    hooks.yield = [this] {
        if (yield_.Due()) {
            ShowPendingProgress();
            ShowConvertingRow();
            yield_();
        }
    };
    hooks.rowStarting = [this](int row) { convertingRow_ = row; };
    hooks.progress = [this](int done, int count) {
        pendingDone_ = done;
        pendingCount_ = count;
    };
    hooks.stopRequested = [this] { return closeRequested_; };
    // The list shows the failed row while the run waits for the answer; a
    // close meanwhile stops the run at the next row.
    hooks.failed = [this](const RowFailure& failure) {
        ShowPendingProgress();
        ShowConvertingRow();
        const FailureChoice choice = dialogs_.AskAfterFailure(
            this, FailureQuestionText(failure.row, messageList_->RowCount(), failure.Describe()));
        stoppedAtFailure_ = choice == FailureChoice::Stop;
        return choice;
    };
    return hooks;
}

void frmStep1::ShowConvertingRow() {
    const QModelIndex row = messageList_->index(convertingRow_);
    if (row.isValid() && row != grdFiles1->currentIndex()) {
        grdFiles1->setCurrentIndex(row);
    }
}

// After each row: the share of the list done, and "Message i (of m)".
void frmStep1::ShowPendingProgress() {
    if (pendingDone_ >= 0) {
        ShowProgress(pendingDone_, pendingCount_);
        pendingDone_ = -1;
    }
}

void frmStep1::ShowProgress(int done, int count) {
    if (count > 0) {
        const double percent = (static_cast<double>(done) / count) * 100.0;
        ProgressBar1->setValue(qRound(static_cast<float>(percent)));
    }
    LblProgessCurrent->setText(QStringLiteral("Message %1 (of %2)").arg(done).arg(count));
}

void frmStep1::ReportRun(const RunResult& result, const QString& outputRoot,
                         const OutputTarget& target, const VerifyReport* verification) {
    if (result.nothingToConvert) {
        Tell(NothingToConvertText(), MessageIcon::Information);
        return;
    }
    if (result.stopped) {
        return;
    }
    // The button opens the folder where the mailboxes are, deep as it may lie.
    // Other targets start their trees at the store, in the output folder.
    const QString mailboxes = target.GetKind() == OutputTarget::Kind::Entourage
                                  ? MailboxesFolder(*messageList_, outputRoot)
                                  : outputRoot;
    const QString summary =
        SummaryText(result, messageList_->RowCount(), outputRoot, mailboxes, target, verification);
    if (dialogs_.ShowSummary(this, summary) == SummaryAnswer::OpenFolder) {
        dialogs_.OpenWithShell(mailboxes);
    }
}

// Without a browser (or any handler for the page) the manual opens in a
// window of the program's own.
void frmStep1::CmdHelp_Click() {
    const QString manual = HelpManualPath(QCoreApplication::applicationDirPath());
    if (dialogs_.OpenWithShell(manual)) {
        return;
    }
    if (!helpViewer_) {
        helpViewer_ = new HelpViewer(manual, this);
    }
    helpViewer_->show();
    helpViewer_->raise();
    helpViewer_->activateWindow();
}

HelpViewer* frmStep1::HelpWindow() const {
    return helpViewer_;
}

void frmStep1::cmdEnd_Click() {
    if (Confirm(QStringLiteral("Are you sure you want to exit now?"))) {
        CloseWithoutAsking();
    }
}

} // namespace marrowgate
