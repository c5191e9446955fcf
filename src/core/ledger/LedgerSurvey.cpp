#include "ledger/LedgerSurvey.h"

#include "ledger/LedgerLine.h"
#include "marrowgate/ConversionError.h"
#include "platform/FileDescriptor.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string_view>

namespace marrowgate {
namespace {

int VersionOf(const LedgerLineStore& store) {
    return std::max(store.File().Version(), 1);
}

} // namespace

void LedgerMailboxLines::Add(std::uint64_t begin, std::uint64_t end) {
    if (!spans.empty() && spans.back().end == begin) {
        spans.back().end = end;
    } else {
        spans.push_back({begin, end});
    }
}

ReplayedMailbox ReplayedMailbox::Of(const LedgerMailboxLines& lines, const LedgerLineStore& store) {
    ReplayedMailbox replayed;
    const int version = VersionOf(store);
    for (const LedgerSpan span : lines.spans) {
        store.ForEach(span, [&](std::string_view text, std::uint64_t offset) {
            LedgerLine line = LedgerLine::Parse(text, version);
            if (line.kind == LedgerLine::Kind::Open) {
                std::erase_if(replayed.records,
                              [&](const Line& r) { return r.record.end > line.size; });
                replayed.openedAt = line.size;
                replayed.open = true;
                replayed.target = line.target;
            } else if (line.kind == LedgerLine::Kind::Closed) {
                replayed.open = false;
                replayed.closedAt = line.size;
            } else if (line.kind == LedgerLine::Kind::Record) {
                replayed.ofStore = replayed.ofStore || !line.record.place.empty();
                replayed.records.push_back({std::move(line.record), offset});
            } else if (line.kind == LedgerLine::Kind::Sending ||
                       line.kind == LedgerLine::Kind::Begun) {
                replayed.ofStore = true;
            }
        });
    }
    return replayed;
}

namespace {

// Takes the ledger's lines one at a time into a survey.
class Surveyor {
public:
    Surveyor(LedgerSurvey& survey, int version) : survey_(survey), version_(version) {}

    void Take(std::string_view text, std::uint64_t offset) {
        const std::uint64_t end = offset + text.size() + 1;
        if (version_ >= 2 && !LedgerLine::Intact(text)) {
            ++survey_.damaged;
            survey_.spentBytes += end - offset;
            return;
        }
        const std::optional<std::string_view> field = LedgerLine::MailboxField(text);
        if (!field) {
            TakeRunLine(text);
            survey_.spentBytes += end - offset;
            return;
        }
        LedgerMailboxLines& lines = MailboxOf(*field);
        lines.Add(offset, end);
        if (!text.starts_with("record")) {
            survey_.spentBytes += end - offset;
            const LedgerLine line = LedgerLine::Parse(text, version_);
            if (line.kind == LedgerLine::Kind::Open || line.kind == LedgerLine::Kind::Closed) {
                lines.open = line.kind == LedgerLine::Kind::Open;
            }
            if (line.kind == LedgerLine::Kind::Open) {
                lines.target = line.target;
            }
        }
    }

private:
    void TakeRunLine(std::string_view text) {
        if (text.starts_with("run\t")) {
            survey_.lastRunLines.clear();
        }
        if (text.starts_with("run\t") || text.starts_with("end\t")) {
            survey_.lastRunLines.append(text).append(1, '\n');
        }
    }

    // Lines of one mailbox come together: told apart by the field unparsed.
    LedgerMailboxLines& MailboxOf(std::string_view field) {
        if (last_ == nullptr || field != lastField_) {
            const std::string name = LedgerLine::Unescaped(field);
            const auto [it, added] = survey_.mailboxes.try_emplace(name);
            if (added) {
                survey_.order.push_back(name);
            }
            last_ = &it->second;
            lastField_.assign(field);
        }
        return *last_;
    }

    LedgerSurvey& survey_;
    int version_;
    LedgerMailboxLines* last_ = nullptr;
    std::string lastField_; // as it stands in the file
};

} // namespace

LedgerSurvey LedgerSurvey::Of(LedgerLineStore& store) {
    LedgerSurvey survey;
    Surveyor surveyor(survey, VersionOf(store));
    const auto [whole, length] =
        LedgerFileLines::ForEach(store.File().Fd(), store.Path(), 0, LedgerFileLines::kToTheEnd,
                                 [&](std::string_view text, std::uint64_t offset) {
                                     if (offset > 0) { // the first line is the version's
                                         surveyor.Take(text, offset);
                                     }
                                 });
    if (whole < length && platform::Truncate(store.File().Fd(), whole) != 0) {
        throw ConversionError::FromErrno("Cannot write the conversion ledger", store.Path(), errno);
    }
    store.SetFileSize(whole);
    return survey;
}

// A mailbox shorter than the ledger knows it was cut or removed since: the
// records past its end are no longer there. Its size now is kept, and the
// records dropped when the mailbox's are read.
void LedgerSurvey::MeasureMailboxes(const std::string& outputRoot) {
    for (auto& [mailbox, lines] : mailboxes) {
        platform::FileStatus info;
        lines.sizeAtStart = platform::Status(outputRoot + mailbox, info) == 0 ? info.size : 0;
    }
}

bool LedgerSurvey::AnyOpen() const {
    return std::any_of(mailboxes.begin(), mailboxes.end(),
                       [](const auto& mailbox) { return mailbox.second.open; });
}

std::string TargetByLineEnds(const std::string& path, std::uint64_t begin) {
    const FileDescriptor fd(platform::Open(path, platform::kRead | platform::kNoFollow));
    if (!fd.IsOpen()) {
        return {};
    }
    char head[1024];
    const long long got = platform::ReadAt(fd.Get(), head, sizeof head, begin);
    const std::string_view text(head, got > 0 ? static_cast<std::size_t>(got) : 0);
    const std::size_t from = text.find("From ");
    const std::size_t lf = text.find('\n', from == std::string_view::npos ? 0 : from);
    if (from == std::string_view::npos || lf == std::string_view::npos) {
        return {};
    }
    return lf > 0 && text[lf - 1] == '\r' ? "entourage" : "lf";
}

} // namespace marrowgate
