#include "orvane_native/support/interrupt.h"

namespace orvane {
namespace {

StopTest g_stop_test = nullptr;

}  // namespace

void set_stop_test(StopTest test) { g_stop_test = test; }

void check_interrupt() {
  if (g_stop_test != nullptr && g_stop_test()) throw Interrupted{};
}

}  // namespace orvane
