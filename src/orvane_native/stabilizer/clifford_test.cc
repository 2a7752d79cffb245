#include "orvane_native/stabilizer/clifford.h"
#include "orvane_native/stabilizer/reference/clifford_reference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <tuple>

#include "orvane_native/stabilizer/instructions.h"
#include "orvane_native/stabilizer/test_support.h"
#include "orvane_native/support/wyrand.h"

namespace orvane {
namespace {

using testing::ints;
using testing::message_of;
using V = std::vector<int64_t>;

V run(const V& s, int64_t n, const V& mask, int64_t reps, int64_t seed) {
  return ints(clifford_run({s.data(), static_cast<int64_t>(s.size())}, n,
                           {mask.data(), static_cast<int64_t>(mask.size())}, reps, seed));
}

V tableau_of(const V& s, int64_t n) {
  return ints(clifford_tableau({s.data(), static_cast<int64_t>(s.size())}, n));
}

TEST(CliffordRun, WorkedExamples) {
  EXPECT_EQ(run({0, 0, 0, 9, 0, 0}, 1, {}, 3, 0), (V{1, 0, 0}));
  EXPECT_EQ(run({0, 0, 0, 9, 0, 0}, 1, {}, 3, 42), (V{1, 0, 1}));
  const V bell{0, 0, 0, 6, 0, 1, 9, 0, 0, 9, 1, 0};
  EXPECT_EQ(run(bell, 2, {}, 4, 1), (V{1, 1, 0, 0, 0, 0, 1, 1}));
  EXPECT_EQ(run(bell, 2, {0, 1}, 4, 1), (V{1, 0, 0, 1, 0, 1, 1, 0}));
}

TEST(CliffordRun, RecordFollowsTheGeneratorDraws) {
  // A fresh |+> measured each repetition: outcome = (u >= 0.5) for the
  // draws of the generator seeded as documented.
  const V s{0, 0, 0, 9, 0, 0, 3, 0, 0, 9, 0, 0};
  for (int64_t seed : {int64_t{3}, int64_t{-99}, int64_t{1} << 40}) {
    WyRand g;
    const auto w = seed_words(seed);
    g.seed({w.data(), 2});
    V expected;
    for (int rep = 0; rep < 50; ++rep) {
      const int64_t first = g.f64() < 0.5 ? 0 : 1;
      g.f64();  // the second measurement still consumes its draw
      expected.insert(expected.end(), {first, 1 - first});
    }
    EXPECT_EQ(run(s, 1, {}, 50, seed), expected);
  }
}

TEST(CliffordRun, Reproducibility) {
  std::mt19937_64 rng(5);
  const V s = testing::random_stream(rng, 4, 60, 5);
  const V a = run(s, 4, {}, 20, 77);
  EXPECT_EQ(run(s, 4, {}, 20, 77), a);
  EXPECT_EQ(run(s, 4, {}, 20, 77 + (int64_t{5} << 48)), a);
  EXPECT_EQ(run(s, 4, {}, 20, 77 | (int64_t{-1} << 48)), a);
}

TEST(CliffordRun, EdgeCases) {
  for (int64_t s : {0, 1, 12345}) EXPECT_EQ(run({9, 0, 0}, 1, {}, 3, s), (V{0, 0, 0}));
  const V pairs = run({0, 0, 0, 9, 0, 0, 9, 0, 0}, 1, {}, 40, 8);
  for (size_t i = 0; i < pairs.size(); i += 2) EXPECT_EQ(pairs[i], pairs[i + 1]);
  EXPECT_TRUE(run({}, 3, {}, 10, 0).empty());
  EXPECT_TRUE(run({0, 0, 0, 6, 0, 1}, 2, {}, 10, 0).empty());
  EXPECT_TRUE(run({9, 0, 0}, 1, {}, 0, 0).empty());
  EXPECT_TRUE(run({}, 1, {}, -5, 0).empty());
  // Nothing to sample: returns before num_qubits is looked at (the stream
  // is still checked, see Failures).
  EXPECT_TRUE(run({0, 1, 0, 42, 7, 7}, 2, {}, 5, 0).empty());
  EXPECT_TRUE(run({-1, 7, 0}, -3, {}, 0, 0).empty());
  // Trailing integers are ignored, even a lone measurement code.
  EXPECT_EQ(run({3, 0, 0, 9, 0, 0, 9, 0}, 1, {}, 2, 0), (V{1, 1}));
  // Mask: flips the first measurement only; longer masks are ignored beyond m;
  // entries are xored whole.
  EXPECT_EQ(run({9, 0, 0, 9, 0, 0}, 1, {1}, 2, 0), (V{1, 0, 1, 0}));
  EXPECT_EQ(run({9, 0, 0}, 1, {1, 1, 1}, 2, 0), (V{1, 1}));
  EXPECT_EQ(run({3, 0, 0, 9, 0, 0}, 1, {2}, 1, 0), (V{3}));
}

TEST(CliffordRun, Failures) {
  EXPECT_EQ(message_of([] { run({9, 0, 0}, 1, {}, -2, 0); }), "negative .len:-2");
  EXPECT_EQ(message_of([] { run({9, 0, 0, 9, 0, 0}, 1, {}, -3, 0); }), "negative .len:-6");
  EXPECT_THROW(run({9, 0, 0, 9, 0, 0}, 1, {}, INT64_MAX, 0), std::bad_alloc);
  EXPECT_THROW(run({9, 0, 0}, int64_t{1} << 40, {}, 1, 0), std::bad_alloc);
  // The stream is checked on every call, before any size failure and even
  // when nothing would be sampled.
  for (int64_t reps : {int64_t{1}, int64_t{0}, int64_t{-1}, INT64_MAX}) {
    EXPECT_EQ(message_of([&] { run({0, 5, 0}, 1, {}, reps, 0); }),
              "instruction 0 (code 0): qubit operand a out of range: 5 (num_qubits 1)");
    EXPECT_EQ(message_of([&] { run({0, 5, 0, 9, 0, 0}, 1, {}, reps, 0); }),
              "instruction 0 (code 0): qubit operand a out of range: 5 (num_qubits 1)");
  }
  EXPECT_EQ(message_of([] { run({9, 0, 0}, -1, {}, 1, 0); }),
            "instruction 0 (code 9): qubit operand a out of range: 0 (num_qubits -1)");
  EXPECT_EQ(message_of([] { run({0, 0, 0, 6, 0, 2, 9, 0, 0}, 2, {}, 1, 0); }),
            "instruction 1 (code 6): qubit operand b out of range: 2 (num_qubits 2)");
  EXPECT_EQ(message_of([] { run({9, 5, 0}, 2, {}, 1, 0); }),
            "instruction 0 (code 9): qubit operand a out of range: 5 (num_qubits 2)");
}

TEST(CliffordRun, RejectedStreamLeavesGeneratorUntouched) {
  const auto w = seed_words(1234);
  generator().seed({w.data(), 2});
  EXPECT_FALSE(message_of([] { run({9, 0, 0, 0, 7, 0}, 2, {}, 1, 0); }).empty());
  WyRand fresh;
  fresh.seed({w.data(), 2});
  EXPECT_EQ(generator().u64(), fresh.u64());
}

TEST(CliffordTableau, WorkedExamples) {
  EXPECT_EQ(tableau_of({0, 0, 0}, 1), (V{0, 1, 0, 1, 0, 0, 0, 0, 0}));
  EXPECT_EQ(tableau_of({0, 0, 0, 6, 0, 1}, 2),
            (V{0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(tableau_of({}, 0), (V{0}));
  // Measurement triples and unknown codes are skipped; the stream is the
  // flattened |0...0> tableau of 1 qubit.
  EXPECT_EQ(tableau_of({9, 0, 0, 42, 0, 0, -1, 7, 7, 0}, 1), (V{1, 0, 0, 0, 1, 0, 0, 0, 0}));
}

TEST(CliffordTableau, Failures) {
  EXPECT_EQ(message_of([] { tableau_of({}, -1); }), "negative .len:-1");
  EXPECT_EQ(message_of([] { tableau_of({42, 0, 0}, -2); }), "negative .len:-3");
  EXPECT_THROW(tableau_of({}, int64_t{1} << 33), std::bad_alloc);
  // Operands first: no size-dependent allocation before them.
  EXPECT_EQ(message_of([] { tableau_of({0, 0, 0}, -2); }),
            "instruction 0 (code 0): qubit operand a out of range: 0 (num_qubits -2)");
  EXPECT_EQ(message_of([] { tableau_of({0, -1, 0}, int64_t{1} << 40); }),
            "instruction 0 (code 0): qubit operand a out of range: -1 (num_qubits 1099511627776)");
}

struct OperandCase {
  V stream;
  int64_t n;
  std::string message;
};

class OperandValidation : public ::testing::TestWithParam<OperandCase> {};

TEST_P(OperandValidation, WholeStreamCheckedFirst) {
  const OperandCase& c = GetParam();
  EXPECT_EQ(message_of([&] { tableau_of(c.stream, c.n); }), c.message);
  EXPECT_EQ(message_of([&] { run(c.stream, c.n, {}, 2, 0); }), c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, OperandValidation,
    ::testing::Values(
        OperandCase{{0, 2, 0, 9, 0, 0}, 2, "instruction 0 (code 0): qubit operand a out of range: 2 (num_qubits 2)"},
        OperandCase{{0, 0, 0, 1, -1, 0, 9, 0, 0}, 2,
                    "instruction 1 (code 1): qubit operand a out of range: -1 (num_qubits 2)"},
        OperandCase{{9, 0, 0, 0, 0, 0, 2, 3, 0}, 3,
                    "instruction 2 (code 2): qubit operand a out of range: 3 (num_qubits 3)"},
        OperandCase{{6, 1, 1, 9, 0, 0}, 2, "instruction 0 (code 6): qubit operands a and b are the same qubit: 1"},
        OperandCase{{7, 0, 0, 9, 0, 0}, 4, "instruction 0 (code 7): qubit operands a and b are the same qubit: 0"},
        OperandCase{{9, 0, 0, 8, 3, 0}, 3, "instruction 1 (code 8): qubit operand a out of range: 3 (num_qubits 3)"},
        OperandCase{{9, 0, 0, 6, 0, 5}, 3, "instruction 1 (code 6): qubit operand b out of range: 5 (num_qubits 3)"},
        OperandCase{{9, 0, 0, 9, 3, 0}, 2, "instruction 1 (code 9): qubit operand a out of range: 3 (num_qubits 2)"}));

TEST(OperandValidation, UnusedOperandsAndUnknownCodesPass) {
  // b of one-qubit codes, both operands of unknown codes, and a partial
  // trailing triple are not checked.
  EXPECT_EQ(tableau_of({0, 0, 99, 3, 1, -5, 10, 50, 50, 77, -1, -1, 6, 9}, 2).size(), 25u);
  EXPECT_EQ(operand_problem(instr_cnot, 0, 1, 2), "");
  EXPECT_EQ(operand_problem(-3, 8, 8, 2), "");
  EXPECT_EQ(count_measurements(I64Span(V{9, 0, 0, 9, 0}.data(), 5)), 1);
}

// Every code table of the documentation (a Markdown table whose header
// starts with "code" and has an "operands" column) lists the codes of the
// instruction table in order, each row's name beginning with the table's
// name and its operands matching the table's use of b. Rows that are not a
// number ("any other") are left alone.
TEST(InstructionTable, DocumentationTablesAgree) {
  auto cells = [](const std::string& line) {
    std::vector<std::string> out;
    std::stringstream in(line.substr(1));
    for (std::string cell; std::getline(in, cell, '|');) {
      const size_t first = cell.find_first_not_of(' ');
      const size_t last = cell.find_last_not_of(' ');
      out.push_back(first == std::string::npos ? "" : cell.substr(first, last - first + 1));
    }
    return out;
  };
  const std::filesystem::path docs = std::filesystem::path(ORVANE_SOURCE_DIR) / "docs";
  std::map<std::string, int> tables_per_page;
  for (const auto& entry : std::filesystem::directory_iterator(docs)) {
    if (entry.path().extension() != ".md") continue;
    const std::string page = entry.path().filename().string();
    std::ifstream in(entry.path());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
      if (lines[i].rfind("|", 0) != 0) continue;
      const std::vector<std::string> header = cells(lines[i]);
      const auto operands = std::find(header.begin(), header.end(), "operands");
      if (header.empty() || header[0] != "code" || operands == header.end()) continue;
      const size_t operands_col = static_cast<size_t>(operands - header.begin());
      ++tables_per_page[page];
      int64_t expected = 0;
      for (size_t k = i + 2; k < lines.size() && lines[k].rfind("|", 0) == 0; ++k) {
        const std::vector<std::string> row = cells(lines[k]);
        const std::string where = page + " line " + std::to_string(k + 1);
        ASSERT_GT(row.size(), operands_col) << where;
        if (row[0].empty() || row[0].find_first_not_of("0123456789") != std::string::npos) continue;
        const int64_t code = std::stoll(row[0]);
        ASSERT_EQ(code, expected) << where;
        ASSERT_LT(code, kInstrCount) << where << ": a code the instruction table does not have";
        const InstrInfo& info = kInstructions[code];
        const std::string name = info.name;
        EXPECT_EQ(row[1].substr(0, name.size()), name) << where;
        EXPECT_TRUE(row[1].size() == name.size() || !std::isalnum(static_cast<unsigned char>(row[1][name.size()])))
            << where << ": " << row[1];
        EXPECT_EQ(row[operands_col], info.uses_b ? "a, b" : "a") << where;
        ++expected;
      }
      EXPECT_EQ(expected, kInstrCount) << page << " line " << i + 1 << ": codes missing from the table";
    }
  }
  EXPECT_EQ(tables_per_page["stabilizer.md"], 1);
}

TEST(CliffordTableau, MatchesStepByStepTableau) {
  std::mt19937_64 rng(31);
  for (int trial = 0; trial < 20; ++trial) {
    const int64_t n = 1 + trial % 6;
    const V s = testing::random_stream(rng, n, 50, 6);
    Tableau t = new_tableau(n);
    DenseState psi(n);
    for (size_t i = 0; i < s.size(); i += 3) {
      t.apply(s[i], s[i + 1], s[i + 2]);
      psi.gate(s[i], s[i + 1], s[i + 2]);
    }
    EXPECT_EQ(tableau_of(s, n), ints(t.to_flat()));
    testing::expect_stabilizes(t, psi);
  }
}

// The bit-packed clifford_tableau against the unpacked reference, on
// streams with every gate, measurement triples, unknown codes and partial
// triples, at sizes around the 64-row words.
TEST(CliffordTableau, EqualsReferenceAcrossWordBoundaries) {
  std::mt19937_64 rng(8080);
  for (int64_t n : {0, 1, 2, 5, 31, 32, 63, 64, 65, 127, 128, 129, 200}) {
    for (int trial = 0; trial < (n > 64 ? 2 : 6); ++trial) {
      V s = n == 0 ? V{42, 3, 3, -1, 9, 9} : testing::random_stream(rng, n, static_cast<int>(8 * n + 10), 7);
      s.insert(s.end(), {static_cast<int64_t>(rng() % 50) + 10, 0, 0});
      if (trial % 2 == 1) s.push_back(instr_h);
      const I64Span ss(s.data(), static_cast<int64_t>(s.size()));
      ASSERT_EQ(ints(clifford_tableau(ss, n)), ints(clifford_tableau_reference(ss, n))) << "n " << n;
    }
  }
}

TEST(CliffordTableau, FailuresEqualReference) {
  // Structured bindings are captured through init-captures: Clang before 16
  // cannot capture them directly.
  for (auto [s, n] : std::vector<std::tuple<V, int64_t>>{
           {V{}, -1}, {V{0, 0, 0}, -2}, {V{0, 2, 0}, 2}, {V{7, 1, 1}, 3}, {V{9, 4, 0}, 3}, {V{8, 0, -1}, 2}}) {
    const I64Span ss(s.data(), static_cast<int64_t>(s.size()));
    const std::string expected = message_of([&, n = n] { clifford_tableau_reference(ss, n); });
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(message_of([&, n = n] { clifford_tableau(ss, n); }), expected);
  }
  const V bad{0, 5, 0};
  for (const int64_t n : {int64_t{1} << 33, int64_t{1'000'000'000}, INT64_MAX}) {
    EXPECT_THROW(clifford_tableau(I64Span(bad.data(), 3), n), std::bad_alloc) << n;
    EXPECT_THROW(clifford_tableau_reference(I64Span(bad.data(), 3), n), std::bad_alloc) << n;
  }
}

}  // namespace
}  // namespace orvane
