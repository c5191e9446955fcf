#include "record/FromLine.h"

#include <array>
#include <charconv>

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
    // Written out by hand rather than with printf: this runs once per message.
    std::string text;
    text.reserve(24);
    text.append(kDays[wd.c_encoding()]).push_back(' ');
    text.append(kMonths[static_cast<unsigned>(ymd.month()) - 1]).push_back(' ');
    const auto twoDigits = [&text](long long value) {
        text.push_back(static_cast<char>('0' + value / 10 % 10));
        text.push_back(static_cast<char>('0' + value % 10));
    };
    twoDigits(static_cast<unsigned>(ymd.day()));
    text.push_back(' ');
    twoDigits(time.hours().count());
    text.push_back(':');
    twoDigits(time.minutes().count());
    text.push_back(':');
    twoDigits(time.seconds().count());
    text.push_back(' ');
    // At least four characters, as "%04d" would give.
    const int year = static_cast<int>(ymd.year());
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, year < 0 ? -year : year).ptr;
    const auto count = static_cast<std::size_t>(end - digits);
    const std::size_t width = year < 0 ? 3 : 4;
    if (year < 0) {
        text.push_back('-');
    }
    text.append(count < width ? width - count : 0, '0').append(digits, count);
    return text;
}

std::string FormatFromLine(const std::string& sender, std::chrono::sys_seconds date) {
    return "From " + sender + " " + FormatFromLineDate(date);
}

} // namespace marrowgate
