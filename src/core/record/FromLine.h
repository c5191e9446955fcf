#pragma once

#include <chrono>
#include <string>

namespace marrowgate {

// "Mon Jul 05 14:03:09 2010": English day and month names and ":" whatever
// the locale, as mbox readers expect; the day of the month has two digits.
std::string FormatFromLineDate(std::chrono::sys_seconds date);

// "From <sender> <date>" without a line end.
std::string FormatFromLine(const std::string& sender, std::chrono::sys_seconds date);

} // namespace marrowgate
