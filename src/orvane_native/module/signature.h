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

// The docstring form from which CPython reads a text signature: the name and
// the bare parameter names ("kron(a, a_dim, b, b_dim)"), the marker
// ")\n--\n\n", then the docstring proper. CPython strips the first part from
// __doc__ and serves it as __text_signature__, which inspect.signature and
// help() read. A method's list starts with "$self", the instance, which a
// bound method's signature leaves out. Writes to `out` when it is not null
// and returns the length either way, so the same text is sized and filled at
// compile time (SignedDoc) or at run time (a class docstring).
constexpr size_t write_signed_doc(char* out, std::string_view name, const std::string_view* params, int count,
                                  bool method, std::string_view doc) {
  size_t at = 0;
  auto put = [&](std::string_view s) {
    for (char c : s) {
      if (out != nullptr) out[at] = c;
      ++at;
    }
  };
  put(name);
  put("(");
  if (method) put(count > 0 ? "$self, " : "$self");
  for (int i = 0; i < count; ++i) {
    if (i > 0) put(", ");
    put(params[i]);
  }
  put(")\n--\n\n");
  put(doc);
  return at;
}

// The signed docstring of an entry point, built at compile time from its
// signature text and its docstring (a module function's docstring is its
// signature text), null-terminated.
template <FixedString Text, FixedString Doc, bool IsMethod>
struct SignedDoc {
  static constexpr Signature sig = parse_signature(Text.view());
  static constexpr size_t size = write_signed_doc(nullptr, sig.name, sig.params.data(), sig.count, IsMethod, Doc.view());
  static constexpr std::array<char, size + 1> build() {
    std::array<char, size + 1> out{};
    write_signed_doc(out.data(), sig.name, sig.params.data(), sig.count, IsMethod, Doc.view());
    return out;
  }
  static constexpr std::array<char, size + 1> text = build();
};

}  // namespace orvane::py
