#include "telemetry/loopBuf.h"

#include <algorithm>

TLoopBuf::TLoopBuf() {
    SetCapacity(4096);
}

double TLoopBuf::Get(int Index) const {
    if (Index < 0 || Index >= Capacity) return 0.0;
    return Samples[static_cast<size_t>(Index)];
}

void TLoopBuf::Clear() {
    Count = 0;
    Head = 0;
    Added = 0;
    Lowest = NoLowest;
    Highest = NoHighest;
    std::fill(Samples.begin(), Samples.end(), 0.0f);
    std::fill(Times.begin(), Times.end(), 0.0);
}

void TLoopBuf::SetCapacity(int N) {
    // A ring of no slots would make Add write outside it.
    Capacity = std::max(N, 1);
    Samples.assign(static_cast<size_t>(Capacity), 0.0f);
    Times.clear();
    Head = 0;
    Count = 0;
}
