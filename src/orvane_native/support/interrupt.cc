#include "orvane_native/support/interrupt.h"

namespace orvane {
namespace {

StopTest g_stop_test = nullptr;
int64_t g_long_work = kLongWork;

}  // namespace

void set_stop_test(StopTest test) { g_stop_test = test; }

double long_work() { return static_cast<double>(g_long_work); }
void set_long_work(int64_t work) { g_long_work = work; }

void check_interrupt() {
  if (g_stop_test != nullptr && g_stop_test()) throw Interrupted{};
}

}  // namespace orvane
