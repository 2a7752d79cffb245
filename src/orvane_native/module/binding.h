// The binding runtime: binders, value conversions, result conversions and the
// panic guard, and the generic wrappers (module function, method, method
// without arguments) that every computing module function and every method
// goes through. Constructors use the binders and conversions directly
// (classes.cc); version is built by hand (catalogue.cc). Nothing here knows
// what the core computes.
#pragma once

#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

#include "orvane_native/module/python.h"
#include "orvane_native/module/signature.h"
#include "orvane_native/stabilizer/measurement_record.h"
#include "orvane_native/support/array.h"
#include "orvane_native/support/interrupt.h"
#include "orvane_native/support/panic.h"

namespace orvane::py {

// ---- failures ---------------------------------------------------------------

// Sets `type` with a str built from the UTF-8 message.
void set_error_utf8(PyObject* type, const std::string& message);
// A core failure: MemoryError for the allocation failure, RuntimeError
// otherwise, both prefixed "panic in Kelvo code: ".
void raise_panic(const std::string& message);
// Short type name of an object for messages; "None" for no object.
std::string type_name(PyObject* obj);

// Runs `body` inside the panic guard: core failures become Python exceptions
// and the guard returns false, as it does when a signal handler interrupted
// the body.
template <class Body>
bool guarded(Body&& body) {
  try {
    body();
    return true;
  } catch (const Panic& p) {
    raise_panic(p.what());
  } catch (const std::bad_alloc&) {
    raise_panic(kAllocationFailure);
  } catch (const std::length_error&) {
    raise_panic(kAllocationFailure);
  } catch (const std::exception& e) {
    raise_panic(e.what());
  } catch (const Interrupted&) {
    // The signal handler's exception is already set.
  }
  return false;
}

// ---- binders ----------------------------------------------------------------

struct Params {
  std::string_view function;  // name used in messages
  const std::string_view* names;
  int count;
};

bool bind_args(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** slots,
               const Params& params);
bool bind_new_args(PyObject* args, PyObject* kwargs, PyObject** slots, const Params& params);
void raise_too_many_positional(const Params& params, Py_ssize_t given);
void raise_missing(const Params& params, int index);

// ---- value conversions --------------------------------------------------------

bool from_py_int(PyObject* obj, std::string_view ctx, int64_t* out);
bool from_py_f64(PyObject* obj, std::string_view ctx, double* out);
// Storage of a converted sequence argument: short sequences (the common
// small-matrix calls) live inline, longer ones on the heap.
template <class T>
class SeqBuffer {
 public:
  static constexpr int64_t kInline = 32;
  SeqBuffer() { mark_inline_used(0); }
  ~SeqBuffer() { mark_inline_used(kInline); }
  // Room for n elements; throws std::bad_alloc when it cannot be had.
  T* reserve(int64_t n) {
    size_ = n;
    if (n <= kInline) {
      mark_inline_used(n);
      return inline_;
    }
    heap_ = Array<T>(n);
    return heap_.data();
  }
  void clear() {
    size_ = 0;
    mark_inline_used(0);
    heap_ = Array<T>();
  }
  Span<const T> span() const { return {size_ <= kInline ? inline_ : heap_.data(), size_}; }

 private:
  // In an AddressSanitizer build the unused tail of the inline storage is
  // marked unaddressable, so that reading past the end of a short argument
  // is reported exactly as it is for a heap block.
  void mark_inline_used(int64_t used) {
#if defined(__SANITIZE_ADDRESS__)
    __asan_unpoison_memory_region(inline_, sizeof(inline_));
    __asan_poison_memory_region(inline_ + used, sizeof(T) * static_cast<size_t>(kInline - used));
#else
    (void)used;
#endif
  }

  T inline_[kInline];
  Array<T> heap_;
  int64_t size_ = 0;
};

bool from_py_int_seq(PyObject* obj, std::string_view f, std::string_view name, SeqBuffer<int64_t>* out);
bool from_py_f64_seq(PyObject* obj, std::string_view f, std::string_view name, SeqBuffer<double>* out);

PyObject* list_from_f64(F64Span values);
PyObject* list_from_i64(I64Span values);
PyObject* list_from_bits(Span<const uint8_t> values);

// ---- the generic wrapper ------------------------------------------------------

// Holds one converted argument for the duration of a call.
template <class T>
struct Arg;

template <>
struct Arg<int64_t> {
  static constexpr std::string_view kind = "int";
  int64_t value = 0;
  bool convert(PyObject* o, std::string_view, std::string_view name) { return from_py_int(o, name, &value); }
  int64_t get() const { return value; }
};

template <>
struct Arg<double> {
  static constexpr std::string_view kind = "float";
  double value = 0;
  bool convert(PyObject* o, std::string_view, std::string_view name) { return from_py_f64(o, name, &value); }
  double get() const { return value; }
};

template <>
struct Arg<F64Span> {
  static constexpr std::string_view kind = "Sequence[float]";
  SeqBuffer<double> value;
  bool convert(PyObject* o, std::string_view f, std::string_view name) {
    return from_py_f64_seq(o, f, name, &value);
  }
  F64Span get() const { return value.span(); }
};

template <>
struct Arg<I64Span> {
  static constexpr std::string_view kind = "Sequence[int]";
  SeqBuffer<int64_t> value;
  bool convert(PyObject* o, std::string_view f, std::string_view name) {
    return from_py_int_seq(o, f, name, &value);
  }
  I64Span get() const { return value.span(); }
};

template <class R>
struct Result;

template <>
struct Result<void> {
  static constexpr std::string_view kind = "None";
};
template <>
struct Result<int64_t> {
  static constexpr std::string_view kind = "int";
  static PyObject* convert(int64_t v) { return PyLong_FromLongLong(v); }
};
template <>
struct Result<F64Array> {
  static constexpr std::string_view kind = "Sequence[float]";
  static PyObject* convert(const F64Array& v) { return list_from_f64(v.span()); }
};
template <>
struct Result<I64Array> {
  static constexpr std::string_view kind = "Sequence[int]";
  static PyObject* convert(const I64Array& v) { return list_from_i64(v.span()); }
};
template <>
struct Result<BitArray> {
  static constexpr std::string_view kind = "Sequence[int]";
  static PyObject* convert(const BitArray& v) { return list_from_bits(v.span()); }
};
template <>
struct Result<MeasurementRecord> {
  static constexpr std::string_view kind = "Sequence[int]";
  static PyObject* convert(const MeasurementRecord& v) {
    return v.wide ? list_from_i64(v.integers.span()) : list_from_bits(v.bits.span());
  }
};

// The C++ types behind the kinds of a signature text: the parameter kinds of
// Arg and the result kinds of Result other than None, in this order.
using ParamTypes = std::tuple<int64_t, double, F64Span, I64Span>;
using ResultTypes = std::tuple<int64_t, F64Array, I64Array>;

// Position in T... of the type whose Trait<T>::kind is `kind`; an unknown
// kind stops the compilation.
template <template <class> class Trait, class... T>
constexpr size_t kind_index(std::string_view kind, std::tuple<T...>*) {
  size_t index = 0;
  size_t found = sizeof...(T);
  ((Trait<T>::kind == kind ? (found = index, ++index) : ++index), ...);
  if (found == sizeof...(T)) throw "unknown kind in a signature text";
  return found;
}

// The function pointer type that a signature text describes, with the given
// record (a method's) as its first parameter:
// core_pointer_t<"measure(targets: Sequence[int], u: float) -> int", NativeState>
// is int64_t (*)(NativeState&, I64Span, double).
template <FixedString Text, class... Self>
struct CorePointer {
  static constexpr Signature sig = parse_signature(Text.view());
  template <size_t I>
  using Param = std::tuple_element_t<kind_index<Arg>(sig.kinds[I], static_cast<ParamTypes*>(nullptr)), ParamTypes>;
  template <bool IsNone, int = 0>
  struct ResultOf {
    using type = void;
  };
  template <int Unused>
  struct ResultOf<false, Unused> {
    using type =
        std::tuple_element_t<kind_index<Result>(sig.result, static_cast<ResultTypes*>(nullptr)), ResultTypes>;
  };
  using R = typename ResultOf<sig.result == Result<void>::kind>::type;
  template <size_t... I>
  static auto pointer(std::index_sequence<I...>) -> R (*)(Self&..., Param<I>...);
  using type = decltype(pointer(std::make_index_sequence<sig.count>{}));
};

template <FixedString Text, class... Self>
using core_pointer_t = typename CorePointer<Text, Self...>::type;

template <class F>
struct FnTraits;
template <class R, class... A>
struct FnTraits<R (*)(A...)> {
  using result = R;
  using args = std::tuple<A...>;
};

template <class T>
using Bare = std::remove_cvref_t<T>;

// Converts the arguments of one call into `holders`, by position (no keyword
// names: absent trailing arguments are reported just before their turn) or
// through bind_args.
template <int N, class Holders>
bool convert_all(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, const Params& params,
                 Holders& holders) {
  PyObject* slots[N > 0 ? N : 1] = {};
  PyObject* const* source = args;
  if (kwnames == nullptr) {
    if (nargs > N) {
      set_error_utf8(PyExc_TypeError, std::string(params.function) + "() takes at most " +
                                          std::to_string(N) + " argument(s) but " +
                                          std::to_string(nargs) + " were given");
      return false;
    }
  } else {
    if (!bind_args(args, nargs, kwnames, slots, params)) return false;
    source = slots;
    nargs = N;
  }
  bool ok = true;
  int index = 0;
  std::apply(
      [&](auto&... h) {
        ((ok = ok && [&] {
           if (index >= nargs || source[index] == nullptr) {
             raise_missing(params, index);
             return false;
           }
           const bool converted = h.convert(source[index], params.function, params.names[index]);
           ++index;
           return converted;
         }()),
         ...);
      },
      holders);
  return ok;
}

template <class Holders, auto Fn, class... Self>
PyObject* call_core(Holders& holders, Self&... self) {
  using R = typename FnTraits<decltype(Fn)>::result;
  PyObject* out = nullptr;
  if constexpr (std::is_void_v<R>) {
    if (!guarded([&] { std::apply([&](auto&... h) { Fn(self..., h.get()...); }, holders); })) return nullptr;
    Py_RETURN_NONE;
  } else {
    // The result is built inside the guard so that a failure while converting
    // it releases everything the call made.
    bool ok = guarded([&] {
      R r = std::apply([&](auto&... h) { return Fn(self..., h.get()...); }, holders);
      out = Result<R>::convert(r);
    });
    return ok ? out : nullptr;
  }
}

template <FixedString Text, class ArgsTuple, size_t... I>
constexpr bool kinds_match(std::index_sequence<I...>) {
  constexpr Signature sig = parse_signature(Text.view());
  return sig.count == sizeof...(I) &&
         ((sig.kinds[I] == Arg<Bare<std::tuple_element_t<I, ArgsTuple>>>::kind) && ...);
}

template <class T>
struct DropFirst;
template <class H, class... T>
struct DropFirst<std::tuple<H, T...>> {
  using type = std::tuple<T...>;
};

// Everything a wrapper needs to know about one entry point, computed at
// compile time from its signature text and its core function.
template <FixedString Text, auto Fn, bool IsMethod>
struct Entry {
  static constexpr Signature sig = parse_signature(Text.view());
  using FnArgs = typename FnTraits<decltype(Fn)>::args;
  using CoreArgs = std::conditional_t<IsMethod, typename DropFirst<FnArgs>::type, FnArgs>;
  static constexpr int N = std::tuple_size_v<CoreArgs>;
  static_assert(N == sig.count, "signature text and core function differ in parameter count");
  static_assert(kinds_match<Text, CoreArgs>(std::make_index_sequence<N>{}),
                "signature text and core function differ in a parameter kind");
  static_assert(sig.result == Result<typename FnTraits<decltype(Fn)>::result>::kind,
                "signature text and core function differ in the result kind");

  template <class Tuple>
  struct HoldersOf;
  template <class... A>
  struct HoldersOf<std::tuple<A...>> {
    using type = std::tuple<Arg<Bare<A>>...>;
  };
  using Holders = typename HoldersOf<CoreArgs>::type;

  static constexpr auto names = sig.params;
  static constexpr Params params{sig.name, names.data(), N};

  template <size_t... I>
  static constexpr auto name_chars(std::index_sequence<I...>) {
    return std::array<char, sizeof...(I) + 1>{sig.name[I]..., '\0'};
  }
  static constexpr auto name = name_chars(std::make_index_sequence<sig.name.size()>{});
};

// Module function: METH_FASTCALL | METH_KEYWORDS.
template <FixedString Text, auto Fn>
PyObject* function_wrapper(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  using E = Entry<Text, Fn, false>;
  typename E::Holders holders;
  if (!convert_all<E::N>(args, nargs, kwnames, E::params, holders)) return nullptr;
  return call_core<typename E::Holders, Fn>(holders);
}

// Record of an instance: stored inline right after the object header.
template <class Record>
Record& record_of(PyObject* self) {
  return *reinterpret_cast<Record*>(reinterpret_cast<char*>(self) + sizeof(PyObject));
}

// Method with arguments: METH_FASTCALL | METH_KEYWORDS, the record first.
template <FixedString Text, auto Fn>
PyObject* method_wrapper(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  using E = Entry<Text, Fn, true>;
  using Record = Bare<std::tuple_element_t<0, typename E::FnArgs>>;
  typename E::Holders holders;
  if (!convert_all<E::N>(args, nargs, kwnames, E::params, holders)) return nullptr;
  return call_core<typename E::Holders, Fn>(holders, record_of<Record>(self));
}

// Method without arguments: METH_NOARGS.
template <FixedString Text, auto Fn>
PyObject* noargs_wrapper(PyObject* self, PyObject*) {
  using E = Entry<Text, Fn, true>;
  using Record = Bare<std::tuple_element_t<0, typename E::FnArgs>>;
  typename E::Holders holders;
  return call_core<typename E::Holders, Fn>(holders, record_of<Record>(self));
}

// A method-table entry whose name comes from the signature text; its
// docstring carries the text signature (SignedDoc), and __doc__ reads the
// signature text itself for a module function, the row's docstring for a
// method.
template <FixedString Text, auto Fn>
PyMethodDef function_def() {
  using E = Entry<Text, Fn, false>;
  return {E::name.data(), reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&function_wrapper<Text, Fn>)),
          METH_FASTCALL | METH_KEYWORDS, SignedDoc<Text, Text, false>::text.data()};
}

template <FixedString Text, auto Fn, FixedString Doc>
PyMethodDef method_def() {
  using E = Entry<Text, Fn, true>;
  const char* doc = SignedDoc<Text, Doc, true>::text.data();
  if constexpr (E::N == 0) {
    return {E::name.data(), &noargs_wrapper<Text, Fn>, METH_NOARGS, doc};
  } else {
    return {E::name.data(),
            reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&method_wrapper<Text, Fn>)),
            METH_FASTCALL | METH_KEYWORDS, doc};
  }
}

}  // namespace orvane::py
