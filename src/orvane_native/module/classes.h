#pragma once

#include "orvane_native/module/python.h"

namespace orvane::py {

// Creates the three classes and adds them to the module; 0 or -1.
int add_classes(PyObject* module);

}  // namespace orvane::py
