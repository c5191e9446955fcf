#pragma once

#include "app/CommandLock.h"
#include "app/EdgeLayout.h"
#include "app/OutputChoice.h"
#include "app/StoreFolders.h"
#include "app/ThrottledYield.h"
#include "app/UserDialogs.h"

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <memory>
#include <string>

namespace marrowgate {

class ConversionProgress;
class HelpViewer;
class ListConversion;
class MessageListModel;
class WindowControls;

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
    // Offers to finish the conversion into the output folder used last when
    // its ledger shows that it did not finish (after the window is shown).
    void OfferToFinish();
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
    void Form_Load();
    void Form_Unload();

    // `tellAdded`: say how many files were added.
    void ImportStoreFolders(const QStringList& folders, bool tellAdded = true);
    void ConvertInto(const QString& outputRoot);
    // The mail program chosen from the box: an IMAP account is asked for
    // there and then; cancelled, the choice goes back to the one before.
    void TargetActivated();
    bool MayClose();
    bool Confirm(const QString& prompt);
    void Tell(const QString& prompt, MessageIcon icon);
    bool FinishPendingClose();

    UserDialogs& dialogs_;
    MessageListModel* messageList_ = nullptr;
    // The controls, created with the window and living as long as it. Tests
    // and tools find them by their object names.
    std::unique_ptr<WindowControls> controls_;
    std::unique_ptr<ConversionProgress> progress_;
    std::unique_ptr<ListConversion> conversion_;
    ThrottledYield yield_;
    Busy busy_ = Busy::Idle;
    // The close box or Exit was used while a command was yielding: the
    // command stops at its next safe point and then closes the window.
    bool closeRequested_ = false;
    // The user has already agreed to close (Exit answered Yes), or no one is
    // to be asked: the close box's question is skipped.
    bool closeAgreed_ = false;
    // The user agreed to stop a conversion by closing: before the window
    // goes, it says how far the conversion came.
    bool tellWhereStopped_ = false;
    // How far the last conversion came when it was stopped; empty when it
    // was not.
    QString stoppedText_;
    StoreFolders stores_;
    OutputChoice output_{dialogs_};
    QString lastTarget_; // the mail program chosen before
    EdgeLayout layout_;
    QPointer<HelpViewer> helpViewer_;
};

} // namespace marrowgate
