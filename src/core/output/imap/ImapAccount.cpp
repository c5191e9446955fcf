#include "marrowgate/ImapAccount.h"

#include "marrowgate/ConversionError.h"

#include <curl/curl.h>

#include <cctype>
#include <charconv>
#include <memory>

namespace marrowgate {
namespace {

struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct TextDeleter {
    void operator()(char* text) const { curl_free(text); }
};

[[noreturn]] void Refuse(std::string_view url, const std::string& why) {
    throw ConversionError("Not an IMAP account URL: " + std::string(url) + ": " + why +
                          " (write imaps://user@host/ or imap://user@host/)");
}

// A part of the parsed URL, decoded; the empty text when it is not there.
std::string Part(CURLU* url, CURLUPart part, unsigned flags = CURLU_URLDECODE) {
    char* text = nullptr;
    if (curl_url_get(url, part, &text, flags) != CURLUE_OK || !text) {
        return {};
    }
    const std::unique_ptr<char, TextDeleter> owned(text);
    return text;
}

} // namespace

bool ImapAccount::LooksLikeUrl(std::string_view text) {
    return text.starts_with("imap://") || text.starts_with("imaps://");
}

ImapAccount ImapAccount::Parse(std::string_view text) {
    if (!LooksLikeUrl(text)) {
        Refuse(text, "it must start with imaps:// or imap://");
    }
    const std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
    const std::string copy(text);
    if (!url || curl_url_set(url.get(), CURLUPART_URL, copy.c_str(), 0) != CURLUE_OK) {
        Refuse(text, "it cannot be read as a URL");
    }
    ImapAccount account;
    account.implicitTls = text.starts_with("imaps://");
    account.port = account.implicitTls ? 993 : 143;
    account.user = Part(url.get(), CURLUPART_USER);
    account.host = Part(url.get(), CURLUPART_HOST, 0);
    if (!Part(url.get(), CURLUPART_PASSWORD).empty()) {
        Refuse(text, "a password does not go into the URL (it would show in the process list); "
                     "see --password-file");
    }
    if (account.user.empty() || account.host.empty()) {
        Refuse(text, account.host.empty() ? "it names no server" : "it names no user");
    }
    if (const std::string port = Part(url.get(), CURLUPART_PORT, 0); !port.empty()) {
        const auto parsed = std::from_chars(port.data(), port.data() + port.size(), account.port);
        if (parsed.ec != std::errc() || account.port == 0) {
            Refuse(text, "the port is not a number from 1 to 65535");
        }
    }
    std::string folder = Part(url.get(), CURLUPART_PATH);
    while (!folder.empty() && folder.front() == '/') {
        folder.erase(0, 1);
    }
    while (!folder.empty() && folder.back() == '/') {
        folder.pop_back();
    }
    account.folder = folder;
    return account;
}

std::string ImapAccount::ServerUrl() const {
    return std::string(implicitTls ? "imaps://" : "imap://") + host + ":" + std::to_string(port) +
           "/";
}

std::string ImapAccount::Display() const {
    std::string text = user + "@" + host;
    if (port != (implicitTls ? 993 : 143)) {
        text.append(":").append(std::to_string(port));
    }
    return text;
}

std::string ImapAccount::FileName() const {
    ImapAccount lower = *this;
    for (char& c : lower.host) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    std::string name;
    for (const char c : lower.Display()) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) != 0 && byte < 0x80) {
            name += c;
        } else if (c == '@' || c == '.' || c == '_' || c == '-') {
            name += c;
        } else {
            constexpr char kHex[] = "0123456789ABCDEF";
            name += '%';
            name += kHex[byte >> 4];
            name += kHex[byte & 0xF];
        }
    }
    if (name.ends_with('.')) {
        name.replace(name.size() - 1, 1, "%2E"); // Windows would drop it
    }
    return name;
}

} // namespace marrowgate
