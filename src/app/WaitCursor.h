#pragma once

namespace marrowgate {

// The application-wide busy pointer, from construction until Restore() or
// the end of the scope, whichever comes first.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    void Restore();

    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    bool active_ = true;
};

} // namespace marrowgate
