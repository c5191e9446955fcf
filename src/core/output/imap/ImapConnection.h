#pragma once

#include "marrowgate/ImapAccount.h"
#include "marrowgate/ImapOptions.h"

#include <memory>
#include <string>
#include <string_view>

namespace marrowgate {

// One logged-in connection to an IMAP server, ready for commands. libcurl
// makes it: the TCP connection, TLS with the certificate checked against the
// host name (imaps://, or STARTTLS for imap:// unless plain text is allowed),
// the server's greeting and the login (SASL or LOGIN). Then it hands over the
// connection, and the commands go over it as bytes: Send() and the readers.
class ImapConnection {
public:
    // Throws ImapError: Refused for a login, certificate or TLS failure,
    // ConnectionLost when the server cannot be reached.
    ImapConnection(const ImapAccount& account, const ImapLogin& login);
    ~ImapConnection();
    ImapConnection(const ImapConnection&) = delete;
    ImapConnection& operator=(const ImapConnection&) = delete;

    // Sends all of `bytes`. While the server does not take them, what it
    // sends meanwhile is read and kept, so that neither side waits for the
    // other. Throws ImapError (ConnectionLost).
    void Send(std::string_view bytes);
    // One whole response: a line and the literals it announces, with the
    // lines after them (see ImapResponse). Throws ImapError (ConnectionLost).
    std::string ReadResponse();
    // Whether a whole response has been received and waits to be read.
    bool ResponseWaiting();

private:
    struct Handle;
    bool Fill(bool wait);
    std::string ReadLine();
    void ReadExact(std::size_t size, std::string& into);
    [[noreturn]] void Lost(const std::string& why) const;

    std::unique_ptr<Handle> handle_;
    std::string where_; // user@host, for messages
    int timeoutMs_;
    std::string buffer_;
    std::size_t read_ = 0; // bytes of buffer_ handed out
};

} // namespace marrowgate
