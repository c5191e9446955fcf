#include "cli/ProgressLine.h"

namespace marrowgate {

ProgressLine::ProgressLine(std::FILE* stream, bool enabled) : stream_(stream), enabled_(enabled) {}

void ProgressLine::Update(int done, int total, std::uint64_t bytesRead) {
    using namespace std::chrono;
    if (!enabled_ || total <= 0) {
        return;
    }
    const auto now = steady_clock::now();
    if (done < total && now - lastDraw_ < milliseconds(200)) {
        return;
    }
    lastDraw_ = now;
    pace_.Update({done, total, bytesRead, 0, 0}, now);
    std::fprintf(stream_, "\r%d/%d messages  %3d%%  %.0f msg/s  %.1f MB/s  %s left \033[K", done,
                 total, pace_.Percent(), pace_.MessagesPerSecond(), pace_.MegabytesPerSecond(),
                 ConversionPace::Duration(pace_.SecondsLeft()).c_str());
    std::fflush(stream_);
    drawn_ = true;
}

void ProgressLine::Done() {
    if (drawn_) {
        std::fputc('\n', stream_);
        drawn_ = false;
    }
}

} // namespace marrowgate
