#include "app/ConversionProgress.h"

#include "app/MessageListModel.h"
#include "app/WindowTexts.h"

#include <QLabel>
#include <QProgressBar>
#include <QTableView>

#include <utility>

namespace marrowgate {

namespace {

const QString kTitle = QStringLiteral("Marrowgate");

} // namespace

ConversionProgress::ConversionProgress(const MessageListModel& list, const Controls& controls)
    : list_(list), controls_(controls),
      taskbar_(std::make_unique<TaskbarProgress>(controls.window)) {
    Idle();
    ShowProgress(0, 0);
}

ConversionProgress::~ConversionProgress() = default;

void ConversionProgress::Converting(std::vector<std::uint64_t> rowBytes) {
    convertingRow_ = -1;
    rowBytes_ = std::move(rowBytes);
    bytesConverted_ = 0;
    checked_ = -1;
    pace_ = ConversionPace();
    controls_.state.setText(QStringLiteral("Converting Messages..."));
    controls_.bar.setRange(0, 100);
    controls_.figures.clear();
}

void ConversionProgress::Verifying(int count) {
    checked_ = 0;
    checkCount_ = count;
    checkPace_ = ConversionPace();
    controls_.state.setText(QStringLiteral("Verifying Messages..."));
    ShowChecked();
}

void ConversionProgress::Idle() {
    controls_.state.setText(QStringLiteral("No conversion running."));
    controls_.state.setToolTip({});
    controls_.state.setAccessibleName({});
    controls_.window.setWindowTitle(kTitle);
    taskbar_->Clear();
    // The figures of the conversion, in place of the check's; a run that
    // ended early has no time left.
    checked_ = -1;
    if (pace_.Progress().total > 0) {
        controls_.figures.setText(ConversionFiguresText(pace_, false));
    }
}

// A long output folder is shortened in its middle to fit the line; the whole
// text stays in the tool tip and for screen readers.
void ConversionProgress::Stopped(int done, int count, const QString& outputFolder) {
    QLabel& state = controls_.state;
    const QString text = StoppedText(done, count, outputFolder);
    const QFontMetrics metrics = state.fontMetrics();
    const int room = state.width() - metrics.horizontalAdvance(StoppedText(done, count, {}));
    state.setText(
        StoppedText(done, count, metrics.elidedText(outputFolder, Qt::ElideMiddle, room)));
    state.setToolTip(text);
    state.setAccessibleName(text);
}

void ConversionProgress::Show() {
    if (checked_ >= 0) {
        ShowChecked();
        return;
    }
    if (pendingDone_ >= 0) {
        ShowProgress(pendingDone_, pendingCount_);
        pendingDone_ = -1;
    }
    const QModelIndex row = list_.index(convertingRow_);
    if (row.isValid() && row != controls_.grid.currentIndex()) {
        controls_.grid.setCurrentIndex(row);
    }
}

// The share of the list done, "Message i (of m)" and how long it takes.
void ConversionProgress::ShowProgress(int done, int count) {
    if (count > 0) {
        const auto at = static_cast<std::size_t>(done);
        const bool sized = !rowBytes_.empty() && at < rowBytes_.size();
        pace_.Update({done, count, bytesConverted_, sized ? rowBytes_[at] : 0,
                      sized ? rowBytes_.back() : 0});
        controls_.figures.setText(ConversionFiguresText(pace_));
        const double percent = (static_cast<double>(done) / count) * 100.0;
        ShowShare(qRound(static_cast<float>(percent)));
    }
    controls_.message.setText(QStringLiteral("Message %1 (of %2)").arg(done).arg(count));
}

void ConversionProgress::ShowChecked() {
    checkPace_.Update({checked_, checkCount_, 0, 0, 0});
    controls_.figures.setText(CheckFiguresText(checkPace_));
    ShowShare(checkCount_ > 0 ? qRound(100.0 * checked_ / checkCount_) : 0);
}

// The bar, the window's title and its taskbar button.
void ConversionProgress::ShowShare(int percent) {
    controls_.window.setWindowTitle(QStringLiteral("%1% - ").arg(percent) + kTitle);
    taskbar_->Show(percent);
    controls_.bar.setValue(percent);
}

} // namespace marrowgate
