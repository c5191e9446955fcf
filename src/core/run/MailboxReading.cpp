#include "run/MailboxReading.h"

#include "platform/FileDescriptor.h"
#include "platform/FileSystem.h"
#include "platform/Threads.h"

#include <cerrno>
#include <new>
#include <utility>

namespace marrowgate {

MailboxReading::MailboxReading(std::string path) : path_(std::move(path)) {
    thread_ = platform::StartWorkerThread([this] {
        const FileDescriptor fd(platform::Open(path_, platform::kRead | platform::kNoFollow));
        if (!fd.IsOpen()) {
            return;
        }
        try {
            const bool read = MailboxScanner::Scan(fd.Get(), 0, UINT64_MAX,
                                                   [this](const MailboxScanner::Record& r) {
                                                       if (!r.leading) {
                                                           records_.push_back(r);
                                                       }
                                                   });
            error_ = read ? 0 : errno;
        } catch (const std::bad_alloc&) {
            error_ = ENOMEM;
        }
    });
}

MailboxReading::~MailboxReading() {
    Wait();
}

void MailboxReading::Wait() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

const std::vector<MailboxScanner::Record>& MailboxReading::Records() {
    Wait();
    return records_;
}

int MailboxReading::Error() {
    Wait();
    return error_;
}

} // namespace marrowgate
