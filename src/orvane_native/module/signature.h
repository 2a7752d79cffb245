// Compile-time reading of an entry point's signature text, for example
// "kron(a: Sequence[float], a_dim: int, b: Sequence[float], b_dim: int) -> Sequence[float]".
// The text gives the Python name, the parameter names and kinds, and the
// result kind; the wrappers check them against the core function's C++
// signature, and a method row of surface.def picks its core overload by them
// (core_pointer_t, binding.h), so the surface table cannot drift from the code
// it calls.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace orvane::py {

template <size_t N>
struct FixedString {
  char text[N]{};
  constexpr FixedString(const char (&s)[N]) {
    for (size_t i = 0; i < N; ++i) text[i] = s[i];
  }
  constexpr std::string_view view() const { return {text, N - 1}; }
};

inline constexpr int kMaxParams = 6;

struct Signature {
  std::string_view name;
  std::array<std::string_view, kMaxParams> params{};
  std::array<std::string_view, kMaxParams> kinds{};
  int count = 0;
  std::string_view result;
};

constexpr std::string_view trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// Position of `c` in `s` at or after `from`, or npos. A plain loop rather
// than string_view::find: GCC 12 cannot evaluate the library's find at compile
// time in a build with UndefinedBehaviorSanitizer (its null-pointer test on a
// template-argument string is rejected as non-constant).
constexpr size_t find_char(std::string_view s, char c, size_t from = 0) {
  for (size_t i = from; i < s.size(); ++i)
    if (s[i] == c) return i;
  return std::string_view::npos;
}

constexpr Signature parse_signature(std::string_view text) {
  Signature sig;
  const size_t open = find_char(text, '(');
  const size_t close = find_char(text, ')');
  if (open == std::string_view::npos || close == std::string_view::npos || close < open)
    throw "signature needs parentheses";
  sig.name = text.substr(0, open);
  std::string_view inner = text.substr(open + 1, close - open - 1);
  while (!trim(inner).empty()) {
    const size_t comma = find_char(inner, ',');
    std::string_view part = trim(inner.substr(0, comma));
    const size_t colon = find_char(part, ':');
    if (colon == std::string_view::npos) throw "parameter needs a kind";
    if (sig.count == kMaxParams) throw "too many parameters";
    sig.params[sig.count] = trim(part.substr(0, colon));
    sig.kinds[sig.count] = trim(part.substr(colon + 1));
    ++sig.count;
    if (comma == std::string_view::npos) break;
    inner.remove_prefix(comma + 1);
  }
  size_t arrow = find_char(text, '-', close);
  while (arrow != std::string_view::npos && text.substr(arrow, 2) != "->") arrow = find_char(text, '-', arrow + 1);
  sig.result = arrow == std::string_view::npos ? std::string_view("None") : trim(text.substr(arrow + 2));
  return sig;
}

}  // namespace orvane::py
