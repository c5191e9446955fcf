#include "cli/ProgressLine.h"

namespace marrowgate {

ProgressLine::ProgressLine(std::FILE* stream, bool enabled)
    : stream_(stream), enabled_(enabled), start_(std::chrono::steady_clock::now()) {}

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
    const double seconds = duration<double>(now - start_).count();
    const double rate = seconds > 0 ? done / seconds : 0;
    const double megabytes = seconds > 0 ? static_cast<double>(bytesRead) / 1e6 / seconds : 0;
    const double left = rate > 0 ? (total - done) / rate : 0;
    std::fprintf(stream_, "\r%d/%d messages  %3d%%  %.0f msg/s  %.1f MB/s  %d:%02d left \033[K",
                 done, total, static_cast<int>(100.0 * done / total), rate, megabytes,
                 static_cast<int>(left) / 60, static_cast<int>(left) % 60);
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
