// The catalogue of module functions. Each row is the function's Python
// signature (which is also its docstring, its name and its parameter list)
// and the core operation it calls; the wrapper checks at compile time that
// the two agree. Rows stay in catalogue order (the numbered comments mark
// where each subsystem's rows go).
#include "orvane_native/module/catalogue.h"

#include "orvane_native/density/channel.h"
#include "orvane_native/density/measure.h"
#include "orvane_native/linalg/basic.h"
#include "orvane_native/linalg/eig.h"
#include "orvane_native/linalg/elimination.h"
#include "orvane_native/linalg/kron_factor.h"
#include "orvane_native/linalg/pauli.h"
#include "orvane_native/module/binding.h"
#include "orvane_native/stabilizer/clifford.h"
#include "orvane_native/stabilizer/state_vector.h"
#include "orvane_native/statevector/gates.h"
#include "orvane_native/statevector/measure.h"

namespace orvane::py {
namespace {

PyObject* version(PyObject*, PyObject*) { return PyUnicode_FromString(ORVANE_VERSION); }

}  // namespace

std::vector<PyMethodDef> catalogue() {
  return {
      function_def<"clifford_run(instructions: Sequence[int], num_qubits: int, invert_mask: Sequence[int], repetitions: int, seed: int) -> Sequence[int]", &clifford_run>(),
      function_def<"clifford_tableau(instructions: Sequence[int], num_qubits: int) -> Sequence[int]", &clifford_tableau>(),
      function_def<"clifford_state_vector(tableau: Sequence[int], num_qubits: int) -> Sequence[float]", &clifford_state_vector>(),
      function_def<"jacobi_eig(matrix: Sequence[float], n: int) -> Sequence[float]", &jacobi_eig>(),
      function_def<"simultaneous_diag(real: Sequence[float], imag: Sequence[float], n: int) -> Sequence[float]", &simultaneous_diag>(),
      function_def<"matrix_det(matrix: Sequence[float], n: int) -> Sequence[float]", &matrix_det>(),
      function_def<"matrix_inverse(matrix: Sequence[float], n: int) -> Sequence[float]", &matrix_inverse>(),
      function_def<"solve3(matrix: Sequence[float], rhs: Sequence[float]) -> Sequence[float]", &solve3>(),
      function_def<"kron_factor(matrix: Sequence[float]) -> Sequence[float]", &kron_factor>(),
      function_def<"matmul(a: Sequence[float], b: Sequence[float], dim: int) -> Sequence[float]", &matmul>(),
      function_def<"kron(a: Sequence[float], a_dim: int, b: Sequence[float], b_dim: int) -> Sequence[float]", &kron>(),
      function_def<"apply_gate(state: Sequence[float], gate: Sequence[float], num_qubits: int, targets: Sequence[int]) -> Sequence[float]", &apply_gate>(),
      function_def<"dagger(a: Sequence[float], dim: int) -> Sequence[float]", &dagger>(),
      function_def<"add_scaled(a: Sequence[float], b: Sequence[float], dim: int, scale: float) -> Sequence[float]", &add_scaled>(),
      function_def<"matvec(matrix: Sequence[float], vector: Sequence[float], dim: int) -> Sequence[float]", &matvec>(),
      function_def<"state_to_density(state: Sequence[float]) -> Sequence[float]", &state_to_density>(),
      function_def<"sandwich(a: Sequence[float], u: Sequence[float], dim: int) -> Sequence[float]", &sandwich>(),
      function_def<"channel(rho: Sequence[float], ops: Sequence[float], num_ops: int, dim: int) -> Sequence[float]", &channel>(),
      function_def<"embed_operator(operator: Sequence[float], op_dim: int, targets: Sequence[int], num_qubits: int) -> Sequence[float]", &embed_operator>(),
      function_def<"state_probabilities(state: Sequence[float], targets: Sequence[int], num_qubits: int) -> Sequence[float]", &state_probabilities>(),
      function_def<"collapse_state(state: Sequence[float], targets: Sequence[int], outcome: int, num_qubits: int) -> Sequence[float]", &collapse_state>(),
      function_def<"density_probabilities(rho: Sequence[float], targets: Sequence[int], num_qubits: int) -> Sequence[float]", &density_probabilities>(),
      function_def<"density_collapse(rho: Sequence[float], targets: Sequence[int], outcome: int, num_qubits: int) -> Sequence[float]", &density_collapse>(),
      function_def<"pauli_expansion(matrix: Sequence[float], num_qubits: int) -> Sequence[float]", &pauli_expansion>(),
      function_def<"sample_outcome(probabilities: Sequence[float], u: float) -> int", &sample_outcome>(),
      function_def<"is_identity_matrix(matrix: Sequence[float], dim: int, atol: float) -> int", &is_identity_matrix>(),
      function_def<"matrix_allclose(a: Sequence[float], b: Sequence[float], dim: int, atol: float) -> int", &matrix_allclose>(),
      {"version", &version, METH_NOARGS, "version() -> str"},
  };
}

}  // namespace orvane::py
