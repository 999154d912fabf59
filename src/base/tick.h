#pragma once
// The millisecond tick of the job: a steady clock read as a wrapping 32-bit
// count, so differences are taken with unsigned subtraction.
#include <cstdint>

namespace velmora {

uint32_t TickCount();

// Milliseconds from `since` to now, correct across a wrap of the counter.
inline uint32_t TicksSince(uint32_t since) {
    return TickCount() - since;
}

}  // namespace velmora
