#include "message/MailMessageObject.h"

#include "message/HeaderBlock.h"
#include "message/MessageFile.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <mutex>
#include <optional>
#include <unordered_map>

namespace marrowgate {
namespace {

void InitGMime() {
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

bool IsFromLineToken(std::string_view address) {
    return !address.empty() && std::all_of(address.begin(), address.end(), [](char c) {
        return static_cast<unsigned char>(c) > 32 && static_cast<unsigned char>(c) < 127;
    });
}

// The bare address of the first mailbox in `list`, looking into groups.
std::optional<std::string> FirstMailbox(InternetAddressList* list) {
    const int count = internet_address_list_length(list);
    for (int i = 0; i < count; ++i) {
        InternetAddress* address = internet_address_list_get_address(list, i);
        if (INTERNET_ADDRESS_IS_MAILBOX(address)) {
            const char* addr = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address));
            return std::string(addr ? addr : "");
        }
        if (INTERNET_ADDRESS_IS_GROUP(address)) {
            auto members =
                FirstMailbox(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address)));
            if (members) {
                return members;
            }
        }
    }
    return std::nullopt;
}

std::optional<std::string> ParseUsableAddress(const std::string& fieldValue) {
    InternetAddressList* list = internet_address_list_parse(nullptr, fieldValue.c_str());
    if (!list) {
        return std::nullopt;
    }
    auto address = FirstMailbox(list);
    g_object_unref(list);
    if (address && IsFromLineToken(*address)) {
        return address;
    }
    return std::nullopt;
}

// The same few senders write most of a store's messages, and parsing an
// address list costs more than the rest of a small message's conversion: the
// answers for field values already seen are kept.
std::optional<std::string> UsableAddress(const std::optional<std::string>& fieldValue) {
    if (!fieldValue) {
        return std::nullopt;
    }
    constexpr std::size_t kRemembered = 4096;
    thread_local std::unordered_map<std::string, std::optional<std::string>> seen;
    if (const auto known = seen.find(*fieldValue); known != seen.end()) {
        return known->second;
    }
    if (seen.size() >= kRemembered) {
        seen.clear();
    }
    auto address = ParseUsableAddress(*fieldValue);
    seen.emplace(*fieldValue, address);
    return address;
}

std::optional<std::chrono::sys_seconds> ParseDate(const std::string& text) {
    GDateTime* parsed = g_mime_utils_header_decode_date(text.c_str());
    if (!parsed) {
        return std::nullopt;
    }
    const gint64 seconds = g_date_time_to_unix(parsed);
    g_date_time_unref(parsed);
    return std::chrono::sys_seconds(std::chrono::seconds(seconds));
}

// The date a Received: field ends with, after its last ";".
std::optional<std::chrono::sys_seconds> ReceivedDate(const std::string& received) {
    const auto semicolon = received.rfind(';');
    if (semicolon == std::string::npos) {
        return std::nullopt;
    }
    return ParseDate(received.substr(semicolon + 1));
}

// Years readers of From_ lines take: four digits, and no earlier than the
// Unix epoch, which some readers' date arithmetic starts from.
bool IsWithinFromLineYears(std::chrono::sys_seconds date) {
    using namespace std::chrono;
    return date >= sys_days{1970y / January / 1} && date < sys_days{2100y / January / 1};
}

} // namespace

bool MailMessageObject::LoadFromFile(const std::string& path) {
    MessageFile file(path);
    return LoadFromBytes(file.ReadStart(), file.ModificationTime());
}

bool MailMessageObject::LoadFromBytes(std::string_view start, std::chrono::sys_seconds fileTime) {
    InitGMime();
    const HeaderBlock header = HeaderBlock::Parse(start);

    sender_ = "MAILER-DAEMON";
    for (const char* field : {"Return-Path", "From", "Sender"}) {
        if (auto address = UsableAddress(header.First(field))) {
            sender_ = std::move(*address);
            break;
        }
    }

    const auto usable = [](std::optional<std::chrono::sys_seconds> date) {
        return date && IsWithinFromLineYears(*date);
    };
    std::optional<std::chrono::sys_seconds> date;
    if (auto text = header.First("Date")) {
        date = ParseDate(*text);
    }
    if (!usable(date)) {
        date.reset();
        if (auto received = header.First("Received")) {
            date = ReceivedDate(*received);
        }
    }
    if (!usable(date)) {
        date = fileTime;
    }
    date_ = usable(date) ? *date : std::chrono::sys_seconds{};
    return !header.Empty();
}

} // namespace marrowgate
