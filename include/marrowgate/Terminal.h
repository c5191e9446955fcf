#pragma once

namespace marrowgate::platform {

// Whether standard error is a terminal (a console window), where a progress
// line may rewrite itself.
bool ErrorIsTerminal();

} // namespace marrowgate::platform
