#pragma once

#include "marrowgate/ConversionError.h"

namespace marrowgate {

// The output refuses this run as a whole (a mailbox written for another
// target): the run stops at the message that met it, keep going or not.
class OutputRefused : public ConversionError {
public:
    using ConversionError::ConversionError;
};

} // namespace marrowgate
