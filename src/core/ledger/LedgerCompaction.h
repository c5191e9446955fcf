#pragma once

#include "ledger/LedgerLineStore.h"
#include "ledger/LedgerSurvey.h"

#include <string>

namespace marrowgate {

// The ledger rewritten without what no reader needs (docs/LEDGER.md,
// Compaction): for each mailbox, its standing records (a record named twice
// keeps its last line) around its last "open", and its "closed" when it has
// one; then the last run's "run" and "end" lines. Damaged lines go. The new
// file replaces the old as LedgerFile::Replace() does; `survey` then
// describes it. Throws ConversionError, the old file left as it was.
class LedgerCompaction {
public:
    // Whether a ledger so surveyed is worth rewriting: one of version 1, or
    // one larger than kCompactAbove with more than half of it superseded,
    // and no mailbox a killed run left open (the next run settles it first).
    static bool Due(const LedgerLineStore& store, const LedgerSurvey& survey);
    static void Run(LedgerLineStore& store, LedgerSurvey& survey, const std::string& outputRoot);

    static constexpr std::uint64_t kCompactAbove = 64 * 1024;
};

} // namespace marrowgate
