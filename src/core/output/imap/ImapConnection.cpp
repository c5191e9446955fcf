#include "output/imap/ImapConnection.h"

#include "marrowgate/Terminal.h"
#include "output/imap/ImapError.h"
#include "output/imap/ImapResponse.h"
#include "platform/Socket.h"

#include <curl/curl.h>

#include <mutex>

namespace marrowgate {
namespace {

constexpr std::size_t kReadSize = 64 * 1024;
constexpr int kWaitSliceMs = 200;
// Lines are short; only literals are long, and they are read by their size.
constexpr std::size_t kLongestLine = 16 * 1024 * 1024;

void InitialiseOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The user's reading of what libcurl reports while connecting.
ImapError SetupError(CURLcode code, const std::string& where, const char* detail) {
    const std::string more = detail && *detail ? std::string(" (") + detail + ")" : "";
    using Kind = ImapError::Kind;
    switch (code) {
    case CURLE_LOGIN_DENIED:
        return {Kind::Refused, where + ": the server refused the user name or password" + more};
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CONNECT_ERROR:
        return {Kind::Refused,
                where + ": the server's certificate cannot be trusted or TLS failed" + more +
                    "; for a server with a certificate of its own, name that certificate's file "
                    "(the converter's --ca-file, the window's Certificate file)"};
    case CURLE_USE_SSL_FAILED:
        return {Kind::Refused, where + ": the server offers no STARTTLS, so the password would "
                                       "go in plain text; use imaps://, or --insecure-plaintext "
                                       "on a network you trust"};
    case CURLE_URL_MALFORMAT:
    case CURLE_UNSUPPORTED_PROTOCOL:
        return {Kind::Refused, where + ": " + curl_easy_strerror(code) + more};
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
    default:
        return {Kind::ConnectionLost,
                where + ": cannot reach the server: " + curl_easy_strerror(code) + more};
    }
}

} // namespace

struct ImapConnection::Handle {
    CURL* curl = curl_easy_init();
    platform::SocketHandle socket = 0;
    char error[CURL_ERROR_SIZE] = {};
    ~Handle() { curl_easy_cleanup(curl); }
};

ImapConnection::ImapConnection(const ImapAccount& account, const ImapLogin& login)
    : handle_(std::make_unique<Handle>()), where_(account.Display()),
      timeoutMs_(login.timeoutSeconds * 1000) {
    InitialiseOnce();
    CURL* curl = handle_->curl;
    if (!curl) {
        throw ImapError(ImapError::Kind::Refused, where_ + ": cannot start a connection");
    }
    const std::string url = account.ServerUrl();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, handle_->error);
    // libcurl connects, secures and logs in, then leaves the connection to us.
    curl_easy_setopt(curl, CURLOPT_CONNECT_ONLY, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, static_cast<long>(login.timeoutSeconds));
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_USERNAME, account.user.c_str());
    if (!login.oauthToken.empty()) {
        curl_easy_setopt(curl, CURLOPT_XOAUTH2_BEARER, login.oauthToken.c_str());
    } else {
        curl_easy_setopt(curl, CURLOPT_PASSWORD, login.password.c_str());
    }
    const std::string mechanism = login.mechanism.empty() ? "" : "AUTH=" + login.mechanism;
    if (!mechanism.empty()) {
        curl_easy_setopt(curl, CURLOPT_LOGIN_OPTIONS, mechanism.c_str());
    }
    if (!account.implicitTls) {
        curl_easy_setopt(curl, CURLOPT_USE_SSL,
                         login.insecurePlaintext ? CURLUSESSL_TRY : CURLUSESSL_ALL);
    }
    // As OpenSSL's own programs do, a bundle named in SSL_CERT_FILE stands
    // for the system's (libcurl names its default file itself).
    const std::string caFile = !login.caFile.empty()
                                   ? login.caFile
                                   : platform::EnvironmentValue("SSL_CERT_FILE").value_or("");
    if (!caFile.empty()) {
        curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.c_str());
    }
    const CURLcode code = curl_easy_perform(curl);
    if (code != CURLE_OK) {
        throw SetupError(code, where_, handle_->error);
    }
    curl_socket_t socket = CURL_SOCKET_BAD;
    if (curl_easy_getinfo(curl, CURLINFO_ACTIVESOCKET, &socket) != CURLE_OK ||
        socket == CURL_SOCKET_BAD) {
        throw ImapError(ImapError::Kind::ConnectionLost, where_ + ": the connection closed");
    }
    handle_->socket = static_cast<platform::SocketHandle>(socket);
}

ImapConnection::~ImapConnection() = default;

void ImapConnection::Lost(const std::string& why) const {
    throw ImapError(ImapError::Kind::ConnectionLost, where_ + ": connection lost: " + why);
}

void ImapConnection::Send(std::string_view bytes) {
    while (!bytes.empty()) {
        std::size_t sent = 0;
        const CURLcode code = curl_easy_send(handle_->curl, bytes.data(), bytes.size(), &sent);
        if (code == CURLE_OK) {
            bytes.remove_prefix(sent);
            continue;
        }
        if (code != CURLE_AGAIN) {
            Lost(curl_easy_strerror(code));
        }
        // The server may be waiting for us to read before it reads more.
        Fill(false);
        const int ready = platform::WaitForSocket(handle_->socket, true, timeoutMs_);
        if (ready == 0) {
            Lost("the server took nothing for too long");
        }
    }
}

// Reads what has arrived (waiting for some when asked); false when nothing
// had arrived and `wait` was false.
bool ImapConnection::Fill(bool wait) {
    if (read_ > 0 && read_ >= buffer_.size() / 2) {
        buffer_.erase(0, read_);
        read_ = 0;
    }
    int waitedMs = 0;
    while (true) {
        const std::size_t size = buffer_.size();
        buffer_.resize(size + kReadSize);
        std::size_t got = 0;
        const CURLcode code = curl_easy_recv(handle_->curl, buffer_.data() + size, kReadSize, &got);
        buffer_.resize(size + (code == CURLE_OK ? got : 0));
        if (code == CURLE_OK) {
            if (got == 0) {
                Lost("the server closed it");
            }
            return true;
        }
        if (code != CURLE_AGAIN) {
            Lost(curl_easy_strerror(code));
        }
        if (!wait) {
            return false;
        }
        // The TLS layer may hold what it read from the socket before (the
        // socket then stays quiet): it is asked again every slice.
        if (platform::WaitForSocket(handle_->socket, false, kWaitSliceMs) == 0) {
            waitedMs += kWaitSliceMs;
            if (waitedMs >= timeoutMs_) {
                Lost(std::string("no answer from the server for ") +
                     std::to_string(timeoutMs_ / 1000) + " s");
            }
        } else {
            waitedMs = 0;
        }
    }
}

std::string ImapConnection::ReadLine() {
    std::size_t scanned = 0; // bytes past read_ known to hold no line end
    std::size_t end = std::string::npos;
    while ((end = buffer_.find("\r\n", read_ + scanned)) == std::string::npos) {
        const std::size_t pending = buffer_.size() - read_;
        if (pending > kLongestLine) {
            Lost(std::string("the server sent a line longer than ") + std::to_string(kLongestLine) +
                 " bytes");
        }
        scanned = pending > 0 ? pending - 1 : 0;
        Fill(true); // keeps the bytes past read_, which it may move to the front
    }
    std::string line = buffer_.substr(read_, end + 2 - read_);
    read_ = end + 2;
    return line;
}

void ImapConnection::ReadExact(std::size_t size, std::string& into) {
    while (buffer_.size() - read_ < size) {
        Fill(true);
    }
    into.append(buffer_, read_, size);
    read_ += size;
}

std::string ImapConnection::ReadResponse() {
    std::string response = ReadLine();
    std::size_t lineStart = 0;
    while (true) {
        const std::string_view line(response.data() + lineStart, response.size() - lineStart - 2);
        const auto literal = AnnouncedLiteral(line);
        if (!literal) {
            return response;
        }
        ReadExact(static_cast<std::size_t>(*literal), response);
        lineStart = response.size();
        response += ReadLine();
    }
}

bool ImapConnection::ResponseWaiting() {
    while (Fill(false)) {
    }
    return buffer_.find("\r\n", read_) != std::string::npos;
}

} // namespace marrowgate
