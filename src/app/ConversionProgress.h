#pragma once

class QLabel;
class QString;
class QProgressBar;
class QTableView;

namespace marrowgate {

class MessageListModel;

// What the window shows of a conversion: the state line ("No conversion
// running.", converting, verifying), the bar with the share of the list done,
// "Message i (of m)", and the row being converted as the list's current row.
// Moving the current row, with its selection and scrolling, or laying out the
// progress text anew costs more than converting a small message, so a run
// only notes its figures here and they are shown when the window gets to
// repaint (Show).
class ConversionProgress {
public:
    // Shows the idle state and "Message 0 (of 0)".
    ConversionProgress(const MessageListModel& list, QTableView& grid, QLabel& state,
                       QLabel& message, QProgressBar& bar);

    // A run starts: no row yet, the bar from 0 to 100.
    void Converting();
    void Verifying();
    void Idle();
    // After a stop: how far the run came and where to convert again to
    // finish, in place of the idle state.
    void Stopped(int done, int count, const QString& outputFolder);

    void RowStarting(int row) { convertingRow_ = row; }
    void RowsDone(int done, int count) {
        pendingDone_ = done;
        pendingCount_ = count;
    }

    // Shows the figures noted since the last time, and the row in hand.
    void Show();

private:
    void ShowProgress(int done, int count);

    const MessageListModel& list_;
    QTableView& grid_;
    QLabel& state_;
    QLabel& message_;
    QProgressBar& bar_;
    // The row a conversion is at.
    int convertingRow_ = -1;
    // Progress not shown yet: rows done (-1 for none) and the row count.
    int pendingDone_ = -1;
    int pendingCount_ = 0;
};

} // namespace marrowgate
