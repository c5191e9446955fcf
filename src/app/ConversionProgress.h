#pragma once

#include "app/TaskbarProgress.h"
#include "marrowgate/ConversionPace.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class QLabel;
class QProgressBar;
class QTableView;
class QWidget;

namespace marrowgate {

class MessageListModel;

// What the window shows of a conversion: the state line ("No conversion
// running.", converting, verifying, or where a stopped run stands), the bar
// with the share of the list done, "Message i (of m)" and beside it the
// megabytes done of all, the speed, the time taken and the time left, the
// share done in the window's title (and on Windows its taskbar button), and
// the row being converted as the list's current row. The check after the
// run shows its own share and time left.
// Moving the current row, with its selection and scrolling, or laying out the
// progress text anew costs more than converting a small message, so a run
// only notes its figures here and they are shown when the window gets to
// repaint (Show).
class ConversionProgress {
public:
    struct Controls {
        QWidget& window;
        QTableView& grid;
        QLabel& state;
        QLabel& message;
        QLabel& figures;
        QProgressBar& bar;
    };

    // Shows the idle state and "Message 0 (of 0)".
    ConversionProgress(const MessageListModel& list, const Controls& controls);
    ~ConversionProgress();

    // A run starts over rows whose file sizes, added up row by row, are
    // `rowBytes` (see RowSizesAddedUp): no row yet, the bar from 0 to 100.
    void Converting(std::vector<std::uint64_t> rowBytes);
    // The check of the output starts, of about `count` messages (the check
    // tells how many as it goes).
    void Verifying(int count);
    void Idle();
    // After a stop: how far the run came and where to convert again to
    // finish, in place of the idle state.
    void Stopped(int done, int count, const QString& outputFolder);

    void RowStarting(int row) { convertingRow_ = row; }
    void RowsDone(int done, int count) {
        pendingDone_ = done;
        pendingCount_ = count;
    }
    void MessageConverted(std::uint64_t bytes) { bytesConverted_ += bytes; }
    void MessagesChecked(int checked, int count) {
        checked_ = checked;
        checkCount_ = count;
    }

    // Shows the figures noted since the last time, and the row in hand.
    void Show();

private:
    void ShowProgress(int done, int count);
    void ShowChecked();
    void ShowShare(int percent);

    const MessageListModel& list_;
    Controls controls_;
    std::unique_ptr<TaskbarProgress> taskbar_;
    // The row a conversion is at.
    int convertingRow_ = -1;
    // Progress not shown yet: rows done (-1 for none) and the row count.
    int pendingDone_ = -1;
    int pendingCount_ = 0;
    std::vector<std::uint64_t> rowBytes_;
    std::uint64_t bytesConverted_ = 0;
    ConversionPace pace_;
    // The check after the run: messages checked of all, -1 while not checking.
    int checked_ = -1;
    int checkCount_ = 0;
    ConversionPace checkPace_;
};

} // namespace marrowgate
