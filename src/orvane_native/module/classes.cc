#include "orvane_native/module/classes.h"

namespace orvane::py {

int add_classes(PyObject*) { return 0; }

}  // namespace orvane::py
