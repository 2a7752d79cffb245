// Cooperative interruption of long core loops. The host installs a "should
// stop" test (the extension module asks the interpreter for pending signals);
// long loops tick an InterruptPoll with the work they did, and every few
// milliseconds of work it asks the host. When the host says stop, the poll
// throws Interrupted, which unwinds the core call like a failure: results
// under construction are dropped, and a loop that changes a persistent
// record in place polls only where it can still leave the record as it was.
#pragma once

#include <cstdint>
#include <limits>

namespace orvane {

// Thrown when the host asked to stop. Not a std::exception: it carries no
// message, since the host already recorded why it stops.
struct Interrupted {};

using StopTest = bool (*)();

// What an interrupted loop that writes in place leaves behind: a persistent
// record is put back as it was (kRestore); an array the caller drops
// anyway, such as a copy being built into a result, is left as it is
// (kDiscard).
enum class OnInterrupt { kRestore, kDiscard };

// Installs the host's test; null (the default) never stops.
void set_stop_test(StopTest test);
// Asks the host's test; throws Interrupted when it says stop.
void check_interrupt();

// Work above which a loop that writes in place polls (and keeps an undo log
// to do so): ten to twenty milliseconds. Below it a call ends soon enough on
// its own. A memory-bound sweep counts a few units per entry it writes.
constexpr int64_t kLongWork = int64_t{1} << 24;
// The threshold in force: kLongWork, unless a test lowered it to reach the
// interruptible paths on small inputs.
double long_work();
void set_long_work(int64_t work);

class InterruptPoll {
 public:
  InterruptPoll() = default;
  // A poll that never asks the host, for loops that must run to the end.
  static InterruptPoll never() {
    InterruptPoll p;
    p.budget_ = std::numeric_limits<int64_t>::max();
    return p;
  }

  // Work units between two questions to the host: one unit is about one
  // complex multiply-add, so this is a millisecond or so of arithmetic.
  static constexpr int64_t kPollWork = int64_t{1} << 20;

  void tick(int64_t work) {
    budget_ -= work;
    if (budget_ < 0) {
      budget_ = kPollWork;
      check_interrupt();
    }
  }

 private:
  int64_t budget_ = kPollWork;
};

}  // namespace orvane
