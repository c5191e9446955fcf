#pragma once

#include "marrowgate/ConversionError.h"

#include <string>

namespace marrowgate::test {

// The message of the `Error` that `body` throws, or "" when it throws none.
template <typename Error = ConversionError, typename Body> std::string ErrorOf(Body body) {
    try {
        body();
    } catch (const Error& error) {
        return error.what();
    }
    return {};
}

} // namespace marrowgate::test
