#include "ledger/LedgerCompaction.h"

#include "ledger/LedgerLine.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>

namespace marrowgate {
namespace {

// A record named twice (found by its content) keeps its last line.
std::string CompactedLinesOf(const std::string& mailbox, const ReplayedMailbox& replayed,
                             const std::string& outputRoot) {
    std::unordered_map<std::uint64_t, std::size_t> latest;
    for (std::size_t i = 0; i < replayed.records.size(); ++i) {
        latest[replayed.records[i].record.begin] = i;
    }
    std::string target = replayed.target;
    if (target.empty() && !replayed.records.empty()) {
        target = TargetByLineEnds(outputRoot + mailbox, replayed.records.front().record.begin);
    }
    std::string out;
    const auto records = [&](bool before) {
        for (std::size_t i = 0; i < replayed.records.size(); ++i) {
            const LedgerRecord& record = replayed.records[i].record;
            if (latest[record.begin] == i && (record.end <= replayed.openedAt) == before) {
                LedgerLine::AppendRecord(out, record);
            }
        }
    };
    records(true);
    LedgerLine::AppendOpen(out, mailbox, replayed.openedAt, target);
    records(false);
    if (!replayed.open) {
        LedgerLine::AppendMailbox(out, "closed", mailbox, replayed.closedAt);
    }
    return out;
}

void CopyLines(const LedgerLineStore& store, const LedgerMailboxLines& lines,
               const LedgerFile::Sink& write) {
    for (const LedgerSpan span : lines.spans) {
        store.ForEach(span, [&](std::string_view text, std::uint64_t) {
            write(text);
            write("\n");
        });
    }
}

// The last run's lines, written again in this version.
std::string LastRunLines(const std::string& lines, int version) {
    std::string out;
    for (std::string_view rest = lines; !rest.empty();) {
        const std::string_view text = rest.substr(0, rest.find('\n'));
        rest.remove_prefix(std::min(rest.size(), text.size() + 1));
        const LedgerLine line = LedgerLine::Parse(text, version);
        if (line.kind == LedgerLine::Kind::Run) {
            LedgerLine::AppendRun(out, line.time, line.target, line.stores);
        } else if (line.kind == LedgerLine::Kind::End) {
            LedgerLine::AppendEnd(out, line.time, line.figures);
        }
    }
    return out;
}

} // namespace

bool LedgerCompaction::Due(const LedgerLineStore& store, const LedgerSurvey& survey) {
    const std::uint64_t size = store.FileSize();
    return store.File().Version() == 1 ||
           (size > kCompactAbove && survey.spentBytes > size / 2 && !survey.AnyOpen());
}

void LedgerCompaction::Run(LedgerLineStore& store, LedgerSurvey& survey,
                           const std::string& outputRoot) {
    const int version = std::max(store.File().Version(), 1);
    store.File().Replace([&](const LedgerFile::Sink& write) {
        write(LedgerFile::kFirstLine);
        for (const std::string& mailbox : survey.order) {
            const LedgerMailboxLines& lines = survey.mailboxes.at(mailbox);
            const ReplayedMailbox replayed = ReplayedMailbox::Of(lines, store);
            if (replayed.ofStore) {
                CopyLines(store, lines, write); // not this kind of ledger's to judge
            } else if (lines.sizeAtStart > 0) {
                write(CompactedLinesOf(mailbox, replayed, outputRoot));
            }
        }
        write(LastRunLines(survey.lastRunLines, version));
    });
    survey = LedgerSurvey::Of(store);
    survey.MeasureMailboxes(outputRoot);
}

} // namespace marrowgate
