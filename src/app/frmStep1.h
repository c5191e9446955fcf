#pragma once

#include "app/CommandLock.h"
#include "app/EdgeLayout.h"
#include "app/ThrottledYield.h"
#include "app/UserDialogs.h"

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <string>
#include <vector>

class QComboBox;
class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableView;

namespace marrowgate {

class HelpViewer;
class MessageListModel;
struct RunHooks;
struct RunResult;
class OutputTarget;
struct VerifyReport;

// The program's one window: the message list with its count, the store
// folder import, the mail program to convert for, the conversion with its
// progress display and the check of its output, help and exit.
// It holds no conversion logic of its own: the core walks and converts.
// It opens at its designed size and layout; when it grows, the list takes the
// extra room and every other control keeps its place relative to the nearest
// edges. It remembers its size and the last folders chosen (WindowSettings).
class frmStep1 : public QWidget {
    Q_OBJECT

public:
    explicit frmStep1(UserDialogs& dialogs, QWidget* parent = nullptr);
    ~frmStep1() override;

    // The message list, one path per row of grdFiles1.
    void AddMessagePath(const QString& path);
    // A path as the file system gives it, whatever its bytes, unless the list
    // holds it already; true when it was added.
    bool AddMessageFile(const std::string& path);
    void ClearMessageList();
    const MessageListModel& MessageList() const { return *messageList_; }

    // How long a yield may skip processing events; 0 processes them at every
    // yield point.
    void SetYieldInterval(int intervalMs) { yield_.SetInterval(intervalMs); }

    // The help manual of the program in programFolder: beside it in the
    // build folder, under the data folder of its prefix once installed. The
    // installed place when neither holds it, so that the browser names the
    // file that is missing.
    static QString HelpManualPath(const QString& programFolder);

    // The size the window opens at and the smallest it can be made.
    static QSize DesignedSize();
    static QSize SmallestSize();

    // The help window, while it is open.
    HelpViewer* HelpWindow() const;

public slots:
    void CmdAddFolder_Click();
    void cmdClear1_Click();
    void CmdConvert2PDF_Click();
    void CmdHelp_Click();
    void cmdEnd_Click();
    // Closes without a question: a running conversion stops after the message
    // in hand (logout, SIGTERM).
    void CloseWithoutAsking();

signals:
    // The window has closed for good: the program ends.
    void Unloaded();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void Form_Initialize();
    void CreateControls();
    void CreateBottomBand();
    void Form_Load();
    void Form_Unload();
    void CentreOnScreen();
    void LayOutForResizing();
    void ApplyPaletteColours();

    QPushButton* NewButton(QWidget* parent, const char* name, const QString& text,
                           const QRect& geometry);
    QLabel* NewLabel(const char* name, const QString& text, const QRect& geometry);

    void ImportStoreFolders(const QStringList& folders);
    void ShowProgress(int done, int count);
    void ShowPendingProgress();
    void ShowConvertingRow();
    RunHooks ConversionHooks();
    VerifyReport VerifyConverted(const QString& outputRoot, const OutputTarget& target);
    void ReportRun(const RunResult& result, const QString& outputRoot, const OutputTarget& target,
                   const VerifyReport* verification);
    bool MayClose();
    bool Confirm(const QString& prompt);
    void Tell(const QString& prompt, MessageIcon icon);
    bool FinishPendingClose();

    // Controls, created with the window and living as long as it. Tests and
    // tools find them by their object names, which are these names.
    QLabel* Image2 = nullptr;
    QPushButton* CmdAddFolder = nullptr;
    QPushButton* cmdClear1 = nullptr;
    QLabel* lblCount1 = nullptr;
    QTableView* grdFiles1 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* LblProgessCurrent = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* lblTarget = nullptr;
    QComboBox* cboTarget = nullptr;
    QPushButton* CmdConvert2PDF = nullptr;
    QFrame* Shape1 = nullptr;
    QWidget* Picture3 = nullptr;
    QPushButton* CmdHelp = nullptr;
    QPushButton* cmdEnd = nullptr;

    UserDialogs& dialogs_;
    MessageListModel* messageList_ = nullptr;
    ThrottledYield yield_;
    Busy busy_ = Busy::Idle;
    // The close box or Exit was used while a command was yielding: the
    // command stops at its next safe point and then closes the window.
    bool closeRequested_ = false;
    // The user has already agreed to close (Exit answered Yes), or no one is
    // to be asked: the close box's question is skipped.
    bool closeAgreed_ = false;
    // The user chose to stop the run at a failed message.
    bool stoppedAtFailure_ = false;
    // The row a conversion is at.
    int convertingRow_ = -1;
    // Progress not shown yet: rows done (-1 for none) and the row count.
    int pendingDone_ = -1;
    int pendingCount_ = 0;
    // The store folder of the last import, and those of every import since
    // the list was last cleared (where the targets start their trees).
    QString storeFolder_;
    std::vector<std::string> stores_;
    EdgeLayout layout_;
    QPointer<HelpViewer> helpViewer_;
};

} // namespace marrowgate
