// The catalogue of module functions. Each row is the function's Python
// signature (which is also its docstring, its name and its parameter list)
// and the core operation it calls; the wrapper checks at compile time that
// the two agree. Rows stay in catalogue order (the numbered comments mark
// where each subsystem's rows go).
#include "orvane_native/module/catalogue.h"

#include "orvane_native/module/binding.h"
#include "orvane_native/statevector/gates.h"
#include "orvane_native/statevector/measure.h"

namespace orvane::py {
namespace {

PyObject* version(PyObject*, PyObject*) { return PyUnicode_FromString("0.1.0"); }

}  // namespace

std::vector<PyMethodDef> catalogue() {
  return {
      // 1 clifford_run, 2 clifford_tableau, 3 clifford_state_vector (stabilizer/)
      // 4 jacobi_eig, 5 simultaneous_diag, 6 matrix_det, 7 matrix_inverse, 8 solve3,
      // 9 kron_factor, 10 matmul, 11 kron (linalg/)
      function_def<"apply_gate(state: Sequence[float], gate: Sequence[float], num_qubits: int, targets: Sequence[int]) -> Sequence[float]", &apply_gate>(),
      // 13 dagger, 14 add_scaled, 15 matvec (linalg/)
      // 16 state_to_density, 17 sandwich, 18 channel (density/)
      // 19 embed_operator (linalg/)
      function_def<"state_probabilities(state: Sequence[float], targets: Sequence[int], num_qubits: int) -> Sequence[float]", &state_probabilities>(),
      function_def<"collapse_state(state: Sequence[float], targets: Sequence[int], outcome: int, num_qubits: int) -> Sequence[float]", &collapse_state>(),
      // 22 density_probabilities, 23 density_collapse (density/)
      // 24 pauli_expansion (linalg/)
      function_def<"sample_outcome(probabilities: Sequence[float], u: float) -> int", &sample_outcome>(),
      // 26 is_identity_matrix, 27 matrix_allclose (linalg/)
      {"version", &version, METH_NOARGS, "version() -> str"},
  };
}

}  // namespace orvane::py
