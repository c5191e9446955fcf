#include "app/ConversionProgress.h"

#include "app/MessageListModel.h"
#include "app/WindowTexts.h"

#include <QLabel>
#include <QProgressBar>
#include <QTableView>

namespace marrowgate {

ConversionProgress::ConversionProgress(const MessageListModel& list, QTableView& grid,
                                       QLabel& state, QLabel& message, QProgressBar& bar)
    : list_(list), grid_(grid), state_(state), message_(message), bar_(bar) {
    Idle();
    ShowProgress(0, 0);
}

void ConversionProgress::Converting() {
    convertingRow_ = -1;
    state_.setText(QStringLiteral("Converting Messages..."));
    bar_.setRange(0, 100);
}

void ConversionProgress::Verifying() {
    state_.setText(QStringLiteral("Verifying Messages..."));
}

void ConversionProgress::Idle() {
    state_.setText(QStringLiteral("No conversion running."));
    state_.setToolTip({});
    state_.setAccessibleName({});
}

// A long output folder is shortened in its middle to fit the line; the whole
// text stays in the tool tip and for screen readers.
void ConversionProgress::Stopped(int done, int count, const QString& outputFolder) {
    const QString text = StoppedText(done, count, outputFolder);
    const QFontMetrics metrics = state_.fontMetrics();
    const int room = state_.width() - metrics.horizontalAdvance(StoppedText(done, count, {}));
    state_.setText(
        StoppedText(done, count, metrics.elidedText(outputFolder, Qt::ElideMiddle, room)));
    state_.setToolTip(text);
    state_.setAccessibleName(text);
}

void ConversionProgress::Show() {
    if (pendingDone_ >= 0) {
        ShowProgress(pendingDone_, pendingCount_);
        pendingDone_ = -1;
    }
    const QModelIndex row = list_.index(convertingRow_);
    if (row.isValid() && row != grid_.currentIndex()) {
        grid_.setCurrentIndex(row);
    }
}

// The share of the list done, and "Message i (of m)".
void ConversionProgress::ShowProgress(int done, int count) {
    if (count > 0) {
        const double percent = (static_cast<double>(done) / count) * 100.0;
        bar_.setValue(qRound(static_cast<float>(percent)));
    }
    message_.setText(QStringLiteral("Message %1 (of %2)").arg(done).arg(count));
}

} // namespace marrowgate
