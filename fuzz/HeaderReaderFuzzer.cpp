// The header reader on any bytes: it never throws, the sender is one token of
// printable ASCII, and the From_ line it leads to has its fixed date form with
// a year readers take (1970 to 2099), whatever the file's time.
#include "message/MailMessageObject.h"
#include "record/FromLine.h"

#include "Require.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <regex>
#include <string>

using marrowgate::test::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace std::chrono;
    // The input's length picks the file's time (the bytes stay as they are, so
    // that real messages make good seeds): usable, before 1970 or far ahead.
    static const sys_seconds kFileTimes[] = {sys_days{2010y / July / 5} + hours(14),
                                             sys_days{1969y / December / 31},
                                             sys_days{33658y / January / 1}};
    static const std::regex kDate(
        "(Sun|Mon|Tue|Wed|Thu|Fri|Sat) "
        "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
        "[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] (19[7-9][0-9]|20[0-9]{2})");

    marrowgate::MailMessageObject mail;
    mail.LoadFromBytes(std::string_view(reinterpret_cast<const char*>(data), size),
                       kFileTimes[size % 3]);

    const std::string& sender = mail.Sender();
    Require(!sender.empty(), "the sender is not empty");
    Require(std::all_of(sender.begin(), sender.end(),
                        [](unsigned char c) { return c > 32 && c < 127; }),
            "the sender is one token of printable ASCII");
    Require(std::regex_match(marrowgate::FormatFromLineDate(mail.MessageDate()), kDate),
            "the date reads Www Mmm dd hh:mm:ss yyyy, 1970 to 2099");
    return 0;
}
