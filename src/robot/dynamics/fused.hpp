#pragma once
// The dynamics kernels whose work is mostly short sums of products (the mass matrix, inverse
// dynamics and its gravity pass) are built twice on x86-64: portable, and with AVX2's
// three-operand instructions and fused multiply-adds, which the CPUs that have them run. Without
// them a good part of those kernels' instructions are register copies, and each step of a chain
// waits on a multiply and then an add. A kernel's body is one always-inline function; its fused
// entry point is that function called from a VORMEK_FUSED one, so that it is compiled again for
// those instructions.

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define VORMEK_FUSED_KERNELS 1
#define VORMEK_FUSED [[gnu::target("avx2,fma"), gnu::noinline]]
#endif

namespace vormek {

// Whether the fused builds run: the CPU has AVX2 and FMA, and they are not held back.
bool fused_kernels();

// Holds the fused builds back, so that every kernel runs its portable build, or lets them run
// again: for the test that holds the two builds to each other on a machine that has both. Not
// to be switched while another thread computes.
void hold_back_fused_kernels(bool hold);

}  // namespace vormek
