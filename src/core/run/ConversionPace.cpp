#include "marrowgate/ConversionPace.h"

#include <cmath>
#include <cstdio>

namespace marrowgate {

void ConversionPace::Update(const ProgressCounts& progress, Clock::time_point now) {
    progress_ = progress;
    elapsed_ = std::chrono::duration<double>(now - start_).count();
}

int ConversionPace::Percent() const {
    if (progress_.total <= 0) {
        return 0;
    }
    return static_cast<int>(100.0 * progress_.done / progress_.total);
}

double ConversionPace::MessagesPerSecond() const {
    return elapsed_ > 0 ? progress_.done / elapsed_ : 0;
}

double ConversionPace::MegabytesPerSecond() const {
    return elapsed_ > 0 ? static_cast<double>(progress_.bytesConverted) / 1e6 / elapsed_ : 0;
}

double ConversionPace::SecondsLeft() const {
    const ProgressCounts& p = progress_;
    if (p.done >= p.total && p.total > 0) {
        return 0;
    }
    if (elapsed_ <= 0) {
        return -1;
    }
    if (p.bytesTotal > 0) {
        // Messages passed over as converted before tell nothing of the speed.
        if (p.bytesConverted == 0) {
            return -1;
        }
        const double left =
            p.bytesTotal > p.bytesDone ? static_cast<double>(p.bytesTotal - p.bytesDone) : 0;
        return left / (static_cast<double>(p.bytesConverted) / elapsed_);
    }
    const double rate = MessagesPerSecond();
    return rate > 0 ? (p.total - p.done) / rate : -1;
}

std::string ConversionPace::Duration(double seconds) {
    const long long whole = seconds > 0 ? std::llround(seconds) : 0;
    char text[32];
    if (whole >= 3600) {
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60,
                      whole % 60);
    } else {
        std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    }
    return text;
}

} // namespace marrowgate
