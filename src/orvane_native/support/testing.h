// Helpers shared by the native unit tests of every subsystem.
#pragma once

#include <gtest/gtest.h>

#include <complex>
#include <cstdint>
#include <string>
#include <vector>

#include "orvane_native/support/interrupt.h"
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

namespace detail {
inline int64_t g_questions_left = -1, g_questions_asked = 0;
inline bool stop_at_kth_question() {
  ++g_questions_asked;
  return --g_questions_left == 0;
}
}  // namespace detail

// Runs apply(copy of start) under a host that stops at its k-th question,
// for the first, second, middle and last question an uninterrupted run
// asks: each run must end with Interrupted and leave its copy exactly as
// `start`. The uninterrupted run (a host that never says stop) must change
// it, and give the same bits as a run that never polls (the threshold of
// the interruptible paths out of reach). `long_work` sets that threshold
// for the other runs, low enough for small inputs to reach those paths.
template <class Apply>
void expect_interruptions_restore(const std::vector<double>& start, Apply&& apply, int64_t long_work_ = kLongWork) {
  set_long_work(INT64_MAX);
  std::vector<double> quiet = start;
  apply(quiet);
  set_long_work(long_work_);
  detail::g_questions_left = -1;
  detail::g_questions_asked = 0;
  set_stop_test(&detail::stop_at_kth_question);
  std::vector<double> asked = start;
  apply(asked);
  const int64_t questions = detail::g_questions_asked;
  EXPECT_EQ(asked, quiet);
  EXPECT_NE(quiet, start);
  EXPECT_GE(questions, 2) << "too little work to be interrupted twice";
  for (int64_t k : {int64_t{1}, int64_t{2}, questions / 2, questions}) {
    if (k < 1) continue;
    detail::g_questions_left = k;
    std::vector<double> work = start;
    bool interrupted = false;
    try {
      apply(work);
    } catch (const Interrupted&) {
      interrupted = true;
    }
    EXPECT_TRUE(interrupted) << "question " << k << " of " << questions;
    EXPECT_EQ(work, start) << "question " << k << " of " << questions;
  }
  set_stop_test(nullptr);
  set_long_work(kLongWork);
}

}  // namespace orvane::testing
