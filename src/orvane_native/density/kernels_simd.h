// Vector-unit variants of the density-matrix channel kernels, one per
// instruction set, chosen through the variant table
// (orvane::cpu::variants().channels). They perform exactly the scalar
// kernels' operations: every product rounded, sums in the same order, no
// fused multiply-adds, so results are bit-identical whichever variant runs.
#pragma once

#include <cstdint>

#include "orvane_native/support/cpu.h"
#include "orvane_native/support/interrupt.h"

namespace orvane::simd {

// One-qubit Kraus operators on the qubit of stride s >= 1 of a dim x dim
// density matrix. `tab` holds eight tables of m floats: re/im of K[0][0],
// K[0][1], K[1][0], K[1][1] for each operator, in that order.
using Channel2x2Kernel = void (*)(double* rho, int64_t dim, int64_t s, int64_t m, const double* tab);

// The general block algorithm's arithmetic for one row base (see
// general_strip.h for the layout and the operations).
using GeneralStripKernel = void (*)(int64_t d, int64_t dim, int64_t nb, int64_t m, const double* kre,
                                    const double* kim, const double* bre, const double* bim, double* are,
                                    double* aim, double* tre, double* tim, double* sre, double* sim,
                                    InterruptPoll& poll);

// The general block algorithm for two targets (d = 4) whose lower stride is
// at least 4, so that column bases come in runs of `run` >= 4 consecutive
// indices (`outer` is the target mask with the bits below `run` set): every
// block of row base r0 goes through exactly general_strip's operations,
// several column bases per vector, straight from and back to rho. kre and
// kim hold the m operators' real and imaginary parts. Ticks `poll` about
// every 128 m blocks; an interruption can leave some of the row base's
// blocks written.
using GeneralRows4x4Kernel = void (*)(double* rho, int64_t dim, int64_t r0, const int64_t off[4], int64_t outer,
                                      int64_t run, int64_t m, const double* kre, const double* kim,
                                      InterruptPoll& poll);

// The variant for an instruction set; null when there is none (the caller
// runs the scalar kernel).
Channel2x2Kernel channel_2x2_variant(cpu::Isa isa);
GeneralStripKernel general_strip_variant(cpu::Isa isa);
GeneralRows4x4Kernel general_rows_4x4_variant(cpu::Isa isa);

#if defined(ORVANE_X86_64)
void channel_2x2_avx2(double* rho, int64_t dim, int64_t s, int64_t m, const double* tab);
void general_strip_avx2(int64_t d, int64_t dim, int64_t nb, int64_t m, const double* kre, const double* kim,
                        const double* bre, const double* bim, double* are, double* aim, double* tre, double* tim,
                        double* sre, double* sim, InterruptPoll& poll);
void general_rows_4x4_avx2(double* rho, int64_t dim, int64_t r0, const int64_t off[4], int64_t outer, int64_t run,
                           int64_t m, const double* kre, const double* kim, InterruptPoll& poll);
#endif

#if defined(ORVANE_AARCH64)
// No strip variant: the scalar template is compiled for the aarch64
// baseline, which includes NEON, already.
void channel_2x2_neon(double* rho, int64_t dim, int64_t s, int64_t m, const double* tab);
void general_rows_4x4_neon(double* rho, int64_t dim, int64_t r0, const int64_t off[4], int64_t outer, int64_t run,
                           int64_t m, const double* kre, const double* kim, InterruptPoll& poll);
#endif

}  // namespace orvane::simd
