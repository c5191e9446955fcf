#pragma once

#include <functional>

namespace marrowgate {

// Called at fixed points of a long operation so that a window can process its
// pending events. An empty function means "do nothing".
using YieldFn = std::function<void()>;

inline void CallYield(const YieldFn& yield) {
    if (yield) {
        yield();
    }
}

} // namespace marrowgate
