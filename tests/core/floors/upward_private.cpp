// Must not compile with the message floor's include root: the ledger stands
// above it.
#include "ledger/ConversionLedger.h"
