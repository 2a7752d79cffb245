// The initialisation export, the layout self-test and the exec hook.
#include <cstdio>

#include "orvane_native/module/catalogue.h"
#include "orvane_native/module/classes.h"
#include "orvane_native/module/module_builder.h"
#include "orvane_native/module/python.h"
#include "orvane_native/support/field.h"
#include "orvane_native/support/interrupt.h"
#include "orvane_native/support/wyrand.h"

namespace orvane::py {
namespace {

// The binding runtime assumes these host structure sizes.
bool check_layout() {
  if (sizeof(PyModuleDef) != 104) {
    PyErr_SetString(PyExc_SystemError, "tessor: PyModuleDef size mismatch");
    return false;
  }
  if (sizeof(PyMethodDef) != 32) {
    PyErr_SetString(PyExc_SystemError, "tessor: PyMethodDef size mismatch");
    return false;
  }
  if (sizeof(Py_ssize_t) != 8) {
    PyErr_SetString(PyExc_SystemError, "tessor: Py_ssize_t size mismatch");
    return false;
  }
  return true;
}

Module* g_module = nullptr;

// Long core loops ask this every few milliseconds: a signal handler that
// raised (KeyboardInterrupt from Ctrl-C, say) stops the call, its exception
// already set.
bool signal_raised() { return PyErr_CheckSignals() != 0; }

int exec_module(PyObject* module) {
  if (!check_layout()) return -1;
  if (g_module->install_functions(module) < 0) return -1;
  return add_classes(module);
}

}  // namespace
}  // namespace orvane::py

// PyMODINIT_FUNC already declares the function extern "C" in C++.
PyMODINIT_FUNC PyInit_orvane_native(void) {
  using namespace orvane::py;
  if (!check_layout()) return nullptr;
  if (g_module != nullptr) return g_module->init();
  // Field storage of the persistent objects comes from the host allocator.
  orvane::set_field_allocator({&PyObject_Calloc, &PyObject_Free});
  orvane::seed_generator_from_clock();
  orvane::set_stop_test(&signal_raised);
  g_module = new Module("orvane_native",
                        "clifford_run runs a Clifford circuit `repetitions` times and returns the");
  for (const PyMethodDef& def : catalogue()) g_module->add_function_owned(def);
  g_module->set_exec(&exec_module);
  return g_module->seal();
}
