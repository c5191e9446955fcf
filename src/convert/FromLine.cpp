#include "convert/FromLine.h"

#include <array>
#include <cstdio>

namespace marrowgate {

std::string FormatFromLineDate(std::chrono::sys_seconds date) {
    using namespace std::chrono;
    static constexpr std::array<const char*, 7> kDays{"Sun", "Mon", "Tue", "Wed",
                                                      "Thu", "Fri", "Sat"};
    static constexpr std::array<const char*, 12> kMonths{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const auto day = floor<days>(date);
    const year_month_day ymd{day};
    const weekday wd{day};
    const hh_mm_ss time{date - day};
    char text[64];
    std::snprintf(text, sizeof text, "%s %s %02u %02d:%02d:%02d %04d", kDays[wd.c_encoding()],
                  kMonths[static_cast<unsigned>(ymd.month()) - 1], static_cast<unsigned>(ymd.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()), static_cast<int>(ymd.year()));
    return text;
}

std::string FormatFromLine(const std::string& sender, std::chrono::sys_seconds date) {
    return "From " + sender + " " + FormatFromLineDate(date);
}

} // namespace marrowgate
