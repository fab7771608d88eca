// The general failure point: counts the calls the caller's own thread makes into the device and
// fails the chosen one. Also the heap's book of live blocks. Plain data only: the heap hook asks
// here from inside malloc, possibly before any constructor has run.
#include <cstddef>

#include "internal.h"

namespace {

constexpr std::size_t kKinds = static_cast<std::size_t>(sim::CallKind::kCount);
constexpr std::size_t kTrackedBlocks = 256;

struct FailurePoint {
    long counted[kKinds];  // calls of each kind since the point was set (index 0: every kind)
    long target;           // the count of `kind` at which a call fails; 0: none armed
    sim::CallKind kind;
    const char* failedCall;  // the name of the call that failed, once one has
    bool uncounted;          // a simulated program's thread, or the device itself, is calling
    const void* liveBlocks[kTrackedBlocks];
};

FailurePoint& Point() {
    static FailurePoint point;  // zero-initialised, never constructed
    return point;
}

}  // namespace

namespace sim {

void FailCall(long n, CallKind kind) {
    FailurePoint& point = Point();
    for (long& count : point.counted) {
        count = 0;
    }
    point.target = n > 0 ? n : 0;
    point.kind = kind;
    point.failedCall = nullptr;
}

long CountedCalls() {
    return Point().counted[0];
}

const char* FailedCall() {
    return Point().failedCall;
}

namespace detail {

void ResetFailurePoint() {
    FailCall(0, CallKind::Any);
    for (const void*& block : Point().liveBlocks) {
        block = nullptr;
    }
}

bool Refused(CallKind kind, const char* name) {
    FailurePoint& point = Point();
    if (point.uncounted) {
        return false;
    }
    ++point.counted[0];
    const long count =
        kind == CallKind::Any ? point.counted[0] : ++point.counted[static_cast<std::size_t>(kind)];
    const bool kindMatches = point.kind == CallKind::Any || point.kind == kind;
    const long reached = point.kind == CallKind::Any ? point.counted[0] : count;
    if (point.target == 0 || !kindMatches || reached != point.target) {
        return false;
    }
    point.target = 0;
    point.failedCall = name;
    return true;
}

bool SetUncounted(bool uncounted) {
    const bool was = Point().uncounted;
    Point().uncounted = uncounted;
    return was;
}

void TrackBlock(const void* block) {
    for (const void*& slot : Point().liveBlocks) {
        if (slot == nullptr) {
            slot = block;
            return;
        }
    }
}

void ForgetBlock(const void* block) {
    for (const void*& slot : Point().liveBlocks) {
        if (slot == block) {
            slot = nullptr;
            return;
        }
    }
}

int LiveBlocks() {
    int live = 0;
    for (const void* slot : Point().liveBlocks) {
        live += slot != nullptr ? 1 : 0;
    }
    return live;
}

}  // namespace detail
}  // namespace sim
