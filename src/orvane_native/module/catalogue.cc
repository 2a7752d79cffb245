// The catalogue of module functions: the function rows of surface.def, in
// their order. Each ORVANE_FUNCTION row is the function's Python signature
// (which is also its docstring, its name and its parameter list) and the core
// operation it calls; the wrapper checks at compile time that the two agree.
// The ORVANE_NOARGS_FUNCTION row (version) is bound to a function built here.
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
#include "orvane_native/stabilizer/noisy_sampler.h"
#include "orvane_native/stabilizer/state_vector.h"
#include "orvane_native/statevector/gates.h"
#include "orvane_native/statevector/measure.h"

namespace orvane::py {
namespace {

PyObject* version(PyObject*, PyObject*) { return PyUnicode_FromString(ORVANE_VERSION); }

// The entry of an ORVANE_NOARGS_FUNCTION row: the function built by hand
// above under the row's name, with the row's signature as its docstring.
template <FixedString Text>
PyMethodDef noargs_function_def() {
  using Doc = SignedDoc<Text, Text, false>;
  static_assert(Doc::sig.name == "version" && Doc::sig.count == 0, "a hand-built function row without its function");
  return {"version", &version, METH_NOARGS, Doc::text.data()};
}

}  // namespace

std::vector<PyMethodDef> catalogue() {
  return {
#define ORVANE_FUNCTION(signature, fn, summary) function_def<signature, &fn>(),
#define ORVANE_NOARGS_FUNCTION(signature, summary) noargs_function_def<signature>(),
#define ORVANE_CLASS(Class, buffer, summary, constructor_summary)
#define ORVANE_METHOD(Class, signature, fn, doc, summary)
#include "orvane_native/module/surface.def"
#undef ORVANE_FUNCTION
#undef ORVANE_NOARGS_FUNCTION
#undef ORVANE_CLASS
#undef ORVANE_METHOD
  };
}

}  // namespace orvane::py
