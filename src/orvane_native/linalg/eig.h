// Eigen-decomposition of real symmetric matrices (row-major, n*n floats).
#pragma once

#include <cstdint>

#include "orvane_native/support/array.h"

namespace orvane {

// Cyclic Jacobi with two-sided rotations (tolerance 1e-14, at most 100
// sweeps). Result: the n eigenvalues in index order (unsorted), then the
// eigenvector matrix Z row-major, column j belonging to eigenvalue j.
F64Array jacobi_eig(F64Span matrix, int64_t n);

// Common real orthonormal eigenvectors of two commuting symmetric matrices
// (the real and imaginary parts of a complex symmetric matrix): eigenvectors
// of `real`, rotated within each group of eigenvalues closer than 1e-9 so
// that they also diagonalise `imag`. Result: n complex eigenvalues
// (w'·real·w, w'·imag·w) interleaved, then the eigenvectors row-major.
F64Array simultaneous_diag(F64Span real, F64Span imag, int64_t n);

}  // namespace orvane
