#include "orvane_native/support/operator_structure.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace orvane {
namespace {

struct RowCase {
  std::vector<std::pair<double, double>> row;
  bool gate_permutes;     // +1 or -1 allowed
  bool channel_permutes;  // +1 only
};

// One table for both simulators: the same row must be judged the same way,
// save for the sign that only gates may carry.
TEST(OperatorStructure, PermutationRowThresholds) {
  const std::vector<RowCase> cases = {
      {{{0, 0}, {1, 0}}, true, true},
      {{{0, 0}, {-1, 0}}, true, false},
      {{{1 + 5e-16, 0}, {0, 0}}, true, true},
      {{{1 + 3e-15, 0}, {0, 0}}, false, false},
      {{{-1 + 1e-15, 0}, {0, 0}}, true, false},
      {{{0.5, 0}, {0, 0}}, false, false},           // scaled: not a unit entry
      {{{1, 2e-15}, {0, 0}}, false, false},         // not real
      {{{1, 0}, {1e-10, 0}}, true, true},           // 1e-10 is not significant
      {{{1, 0}, {1e-8, 0}}, false, false},          // 1e-8 is
      {{{0, 0}, {0, 0}}, false, false},             // no entry at all
      {{{0, 1}, {0, 0}}, false, false},             // i is of magnitude one but not real
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    const auto& rc = cases[i];
    auto entry = [&](int64_t, int64_t c) { return rc.row[static_cast<size_t>(c)]; };
    int64_t col = -1;
    double sign = 0;
    EXPECT_EQ(permutation_row(0, 2, entry, UnitEntries::kPlusOrMinusOne, &col, &sign), rc.gate_permutes) << i;
    EXPECT_EQ(permutation_row(0, 2, entry, UnitEntries::kPlusOne, &col, &sign), rc.channel_permutes) << i;
  }
}

TEST(OperatorStructure, OffDiagonalAndWholeMatrix) {
  const double swap[2][2][2] = {{{0, 0}, {1, 0}}, {{-1, 0}, {0, 0}}};
  auto entry = [&](int64_t r, int64_t c) { return std::pair{swap[r][c][0], swap[r][c][1]}; };
  int64_t col[2];
  double sign[2];
  EXPECT_TRUE(is_permutation(2, entry, UnitEntries::kPlusOrMinusOne, col, sign));
  EXPECT_EQ(col[0], 1);
  EXPECT_EQ(col[1], 0);
  EXPECT_EQ(sign[1], -1.0);
  EXPECT_FALSE(is_permutation(2, entry, UnitEntries::kPlusOne, col, sign));
  EXPECT_TRUE(has_significant_off_diagonal(2, entry));
  const double diag[2][2][2] = {{{0.3, 0}, {1e-10, 0}}, {{0, 0}, {0, 0.7}}};
  auto dentry = [&](int64_t r, int64_t c) { return std::pair{diag[r][c][0], diag[r][c][1]}; };
  EXPECT_FALSE(has_significant_off_diagonal(2, dentry));
}

}  // namespace
}  // namespace orvane
