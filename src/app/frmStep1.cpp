#include "app/frmStep1.h"

#include "app/MessageGrid.h"
#include "app/MessageListModel.h"
#include "app/Twips.h"
#include "app/WaitCursor.h"
#include "app/WindowTexts.h"
#include "convert/ConversionRun.h"
#include "list/MessageFileFilter.h"
#include "list/StoreScan.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTableView>

#include <exception>
#include <optional>
#include <string>

namespace marrowgate {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

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

} // namespace

frmStep1::frmStep1(UserDialogs& dialogs, QWidget* parent) : QWidget(parent), dialogs_(dialogs) {
    Form_Initialize();
    CreateControls();
    Form_Load();
    CentreOnScreen();
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
    setFixedSize(TwipsToPixels(8985), TwipsToPixels(6270));
}

void frmStep1::CreateControls() {
    messageList_ = new MessageListModel(this);

    Image2 = NewLabel("Image2", QString(), TwipsRect(0, 0, 9000, 1275));
    Image2->setPixmap(QPixmap(QStringLiteral(":/images/banner.png")));
    CmdAddFolder =
        NewButton(this, "CmdAddFolder", QStringLiteral("Choose Windows Live Mail Store Folder..."),
                  TwipsRect(240, 1440, 3495, 375));
    cmdClear1 = NewButton(this, "cmdClear1", QStringLiteral("Clear File(s)..."),
                          TwipsRect(4080, 1440, 1695, 375));
    lblCount1 = NewLabel("lblCount1", CountText(0), TwipsRect(270, 2040, 7695, 255));

    grdFiles1 = NewMessageGrid(this, messageList_);
    grdFiles1->setObjectName(QStringLiteral("grdFiles1"));
    grdFiles1->setGeometry(TwipsRect(240, 2280, 8535, 1575));

    Label4 = NewLabel("Label4", QStringLiteral("Converting Messages..."),
                      TwipsRect(240, 3960, 8535, 255));
    Image1 = NewLabel("Image1", QString(), TwipsRect(240, 4275, 330, 330));
    Image1->setPixmap(QPixmap(QStringLiteral(":/images/progress.png")));
    LblProgessCurrent = NewLabel("LblProgessCurrent", QStringLiteral("Message 0 (of 0)"),
                                 TwipsRect(720, 4320, 8055, 255));
    QPalette black = LblProgessCurrent->palette();
    black.setColor(QPalette::WindowText, Qt::black);
    LblProgessCurrent->setPalette(black);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(TwipsRect(240, 4680, 8535, 255));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    CmdConvert2PDF = NewButton(this, "CmdConvert2PDF", QStringLiteral("Convert to Entourage"),
                               TwipsRect(3120, 5040, 2775, 435));
    CmdConvert2PDF->setEnabled(false);

    CreateBottomBand();

    setTabOrder(cmdClear1, CmdAddFolder);
    setTabOrder(CmdAddFolder, grdFiles1);
    setTabOrder(grdFiles1, CmdConvert2PDF);
    setTabOrder(CmdConvert2PDF, cmdEnd);
    setTabOrder(cmdEnd, CmdHelp);
    cmdClear1->setFocus();

    connect(CmdAddFolder, &QPushButton::clicked, this, &frmStep1::CmdAddFolder_Click);
    connect(cmdClear1, &QPushButton::clicked, this, &frmStep1::cmdClear1_Click);
    connect(CmdConvert2PDF, &QPushButton::clicked, this, &frmStep1::CmdConvert2PDF_Click);
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
    QPalette band = Shape1->palette();
    band.setColor(QPalette::Window, Qt::white);
    band.setColor(QPalette::WindowText, QColor(192, 192, 192));
    Shape1->setPalette(band);
    Shape1->setAutoFillBackground(true);

    Picture3 = new QWidget(this);
    Picture3->setObjectName(QStringLiteral("Picture3"));
    Picture3->setGeometry(TwipsRect(240, 5760, 8655, 495));
    QPalette white = Picture3->palette();
    white.setColor(QPalette::Window, Qt::white);
    Picture3->setPalette(white);
    Picture3->setAutoFillBackground(true);

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
}

void frmStep1::Form_Unload() {
    emit Unloaded();
}

void frmStep1::CentreOnScreen() {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void frmStep1::closeEvent(QCloseEvent* event) {
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

bool frmStep1::FinishPendingClose() {
    if (!closeRequested_) {
        return false;
    }
    close();
    return true;
}

bool frmStep1::Confirm(const QString& prompt) {
    return dialogs_.MsgBox(this, prompt, MsgStyle::YesNoQuestion) == MsgAnswer::Yes;
}

void frmStep1::Tell(const QString& prompt, MsgStyle style) {
    dialogs_.MsgBox(this, prompt, style);
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

void frmStep1::AddMessageFile(const std::string& path) {
    messageList_->AppendFileName(path);
    lblCount1->setText(CountText(messageList_->RowCount()));
}

void frmStep1::ClearMessageList() {
    messageList_->Clear();
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
    storeFolder_ = dialogs_.BrowseForFolder(this, QStringLiteral("Choose Source Folder..."));
    if (storeFolder_.isEmpty()) {
        return;
    }
    if (!storeFolder_.endsWith(QDir::separator())) {
        storeFolder_ += QDir::separator();
    }

    WaitCursor wait;
    CollectionHandle<std::string> files;
    try {
        files = CollectFiles(storeFolder_.toStdString());
    } catch (const std::exception& error) {
        wait.Restore();
        Tell(WalkFailedText(error.what()), MsgStyle::Critical);
        return;
    }

    int added = 0;
    {
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
            AddMessageFile(entry);
            ++added;
        }
    }
    wait.Restore();
    CmdConvert2PDF->setEnabled(added > 0);
    if (FinishPendingClose()) {
        return;
    }
    Tell(QString::number(added) + QStringLiteral(" Files Added to List."), MsgStyle::OkOnly);
}

void frmStep1::CmdConvert2PDF_Click() {
    if (busy_ != Busy::Idle) {
        return;
    }
    if (messageList_->IsEmpty()) {
        Tell(NothingToConvertText(), MsgStyle::Information);
        return;
    }
    const QString outputRoot =
        dialogs_.BrowseForFolder(this, QStringLiteral("Choose Folder to Save..."));
    if (outputRoot.isEmpty()) {
        return;
    }

    RunResult result;
    std::optional<QString> unexpected;
    {
        CommandLock lock(busy_, Busy::Converting, {CmdAddFolder, cmdClear1, CmdConvert2PDF});
        convertingRow_ = -1;
        ProgressBar1->setRange(0, 100);
        try {
            result = RunConversion(*messageList_, outputRoot.toStdString(), ConversionHooks());
        } catch (const std::exception& error) {
            unexpected = QString::fromStdString(error.what());
        }
        ShowPendingProgress();
        ShowConvertingRow();
    }
    if (FinishPendingClose()) {
        return;
    }
    if (unexpected) {
        Tell(QStringLiteral("The conversion stopped:") + kCrLf + *unexpected, MsgStyle::Critical);
        return;
    }
    ReportRun(result);
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

void frmStep1::ReportRun(const RunResult& result) {
    if (!result.failures.empty()) {
        const RowFailure& failure = result.failures.front();
        Tell(FailedRowText(failure.row, messageList_->RowCount(), failure.Describe()),
             MsgStyle::Critical);
        return;
    }
    if (result.nothingToConvert) {
        Tell(NothingToConvertText(), MsgStyle::Information);
        return;
    }
    if (!result.stopped) {
        Tell(CompletionText(), MsgStyle::Information);
    }
}

void frmStep1::CmdHelp_Click() {
    dialogs_.OpenWithShell(HelpManualPath(QCoreApplication::applicationDirPath()));
}

void frmStep1::cmdEnd_Click() {
    if (Confirm(QStringLiteral("Are you sure you want to exit now?"))) {
        close();
    }
}

} // namespace marrowgate
