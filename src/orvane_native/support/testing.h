// Helpers shared by the native unit tests of every subsystem.
#pragma once

#include <complex>
#include <string>

#include "orvane_native/support/panic.h"

namespace orvane::testing {

using cd = std::complex<double>;

// The panic message of fn(), or "" when it returns normally.
template <class Fn>
std::string message_of(Fn&& fn) {
  try {
    fn();
  } catch (const Panic& p) {
    return p.what();
  }
  return "";
}

}  // namespace orvane::testing
