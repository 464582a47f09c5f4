#include "fused.hpp"

#include <atomic>

namespace vormek {

namespace {

std::atomic<bool> held_back{false};

}  // namespace

bool fused_kernels() {
#ifdef VORMEK_FUSED_KERNELS
    static const bool available = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return available && !held_back.load(std::memory_order_relaxed);
#else
    return false;
#endif
}

void hold_back_fused_kernels(bool hold) { held_back.store(hold, std::memory_order_relaxed); }

}  // namespace vormek
