#pragma once

#include <vector>

#include "orvane_native/module/python.h"

namespace orvane::py {

// The module functions, in catalogue order.
std::vector<PyMethodDef> catalogue();

}  // namespace orvane::py
