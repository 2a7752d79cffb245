#include "orvane_native/module/binding.h"

#include <bit>
#include <cstring>

namespace orvane::py {

// ---- failures ---------------------------------------------------------------

void set_error_utf8(PyObject* type, const std::string& message) {
  PyObject* text = PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size()));
  if (text == nullptr) return;  // the host's own exception stands
  PyErr_SetObject(type, text);
  Py_DECREF(text);
}

void raise_panic(const std::string& message) {
  PyObject* type = message == kAllocationFailure ? PyExc_MemoryError : PyExc_RuntimeError;
  set_error_utf8(type, "panic in Kelvo code: " + message);
}

std::string type_name(PyObject* obj) {
  if (obj == nullptr) return "None";
  PyObject* name = PyType_GetName(Py_TYPE(obj));
  if (name == nullptr) {
    PyErr_Clear();
    return "?";
  }
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(name, &size);
  std::string out = "?";
  if (utf8 == nullptr) {
    PyErr_Clear();
  } else {
    // At most 63 bytes, cut back to the last whole UTF-8 character so that
    // the message stays valid text.
    Py_ssize_t cut = size < 63 ? size : 63;
    while (cut > 0 && cut < size && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) --cut;
    out.assign(utf8, static_cast<size_t>(cut));
  }
  Py_DECREF(name);
  return out;
}

// ---- binders ----------------------------------------------------------------

void raise_too_many_positional(const Params& params, Py_ssize_t given) {
  set_error_utf8(PyExc_TypeError, std::string(params.function) + "() takes at most " +
                                      std::to_string(params.count) + " argument" +
                                      (params.count == 1 ? "" : "s") + " (" + std::to_string(given) +
                                      " given)");
}

void raise_missing(const Params& params, int index) {
  set_error_utf8(PyExc_TypeError, std::string(params.function) + "() missing required argument: '" +
                                      std::string(params.names[index]) + "'");
}

namespace {

// Stores `value` in the slot named by `key`, with the keyword messages.
bool bind_keyword(PyObject* key, PyObject* value, PyObject** slots, const Params& params) {
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(key, &size);
  if (utf8 == nullptr) return false;
  const std::string_view keyword(utf8, static_cast<size_t>(size));
  for (int k = 0; k < params.count; ++k) {
    if (keyword.empty() || params.names[k] != keyword) continue;
    if (slots[k] != nullptr) {
      set_error_utf8(PyExc_TypeError, std::string(params.function) + "() got multiple values for argument '" +
                                          std::string(keyword) + "'");
      return false;
    }
    slots[k] = value;
    return true;
  }
  set_error_utf8(PyExc_TypeError, std::string(params.function) + "() got an unexpected keyword argument '" +
                                      std::string(keyword) + "'");
  return false;
}

bool check_all_present(PyObject** slots, const Params& params) {
  for (int k = 0; k < params.count; ++k) {
    if (slots[k] == nullptr) {
      raise_missing(params, k);
      return false;
    }
  }
  return true;
}

}  // namespace

bool bind_args(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** slots,
               const Params& params) {
  if (nargs > params.count) {
    raise_too_many_positional(params, nargs);
    return false;
  }
  for (Py_ssize_t i = 0; i < nargs; ++i) slots[i] = args[i];
  const Py_ssize_t nkw = kwnames == nullptr ? 0 : PyTuple_Size(kwnames);
  for (Py_ssize_t j = 0; j < nkw; ++j) {
    if (!bind_keyword(PyTuple_GetItem(kwnames, j), args[nargs + j], slots, params)) return false;
  }
  return check_all_present(slots, params);
}

bool bind_new_args(PyObject* args, PyObject* kwargs, PyObject** slots, const Params& params) {
  const Py_ssize_t nargs = args == nullptr ? 0 : PyTuple_Size(args);
  if (nargs > params.count) {
    raise_too_many_positional(params, nargs);
    return false;
  }
  for (Py_ssize_t i = 0; i < nargs; ++i) slots[i] = PyTuple_GetItem(args, i);
  if (kwargs != nullptr) {
    Py_ssize_t pos = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(kwargs, &pos, &key, &value)) {
      if (!bind_keyword(key, value, slots, params)) return false;
    }
  }
  return check_all_present(slots, params);
}

// ---- value conversions --------------------------------------------------------

namespace {

inline bool exact_int(PyObject* o) { return Py_IS_TYPE(o, &PyLong_Type); }
inline bool exact_float(PyObject* o) { return Py_IS_TYPE(o, &PyFloat_Type); }

}  // namespace

bool from_py_int(PyObject* obj, std::string_view ctx, int64_t* out) {
  if (obj == nullptr) {
    set_error_utf8(PyExc_TypeError, std::string(ctx) + ": missing argument");
    return false;
  }
  if (PyBool_Check(obj)) {
    set_error_utf8(PyExc_TypeError, std::string(ctx) + ": expected int, got bool");
    return false;
  }
  if (exact_int(obj) || PyLong_Check(obj)) {
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(obj, &overflow);
    if (overflow != 0) {
      set_error_utf8(PyExc_OverflowError, std::string(ctx) + ": value out of range for int");
      return false;
    }
    if (v == -1 && PyErr_Occurred()) return false;
    *out = v;
    return true;
  }
  set_error_utf8(PyExc_TypeError, std::string(ctx) + ": expected int, got " + type_name(obj));
  return false;
}

bool from_py_f64(PyObject* obj, std::string_view ctx, double* out) {
  if (obj != nullptr && PyFloat_Check(obj)) {
    *out = PyFloat_AsDouble(obj);
    return true;
  }
  if (obj != nullptr && PyLong_Check(obj)) {
    int64_t v = 0;
    if (!from_py_int(obj, ctx, &v)) return false;
    *out = static_cast<double>(v);
    return true;
  }
  set_error_utf8(PyExc_TypeError, std::string(ctx) + ": expected float, got " + type_name(obj));
  return false;
}

namespace {

// Converting a long sequence, in or out, takes seconds at worst: a signal
// handler gets its turn every kSignalStride items.
constexpr Py_ssize_t kSignalStride = Py_ssize_t{1} << 20;
inline bool signal_turn(Py_ssize_t i) { return (i & (kSignalStride - 1)) == kSignalStride - 1; }

// Length and item access of a list or tuple (or a subclass of either). The
// length of a subclass comes from its own __len__; an item past the real end
// reads as a missing element.
struct SeqAccess {
  PyObject* seq;
  bool is_list;
  PyObject* item(Py_ssize_t i) const {
    PyObject* o = is_list ? PyList_GetItem(seq, i) : PyTuple_GetItem(seq, i);
    if (o == nullptr) PyErr_Clear();
    return o;
  }
};

template <class T, class Fast, class Slow>
bool convert_sequence(PyObject* obj, std::string_view f, std::string_view name, SeqBuffer<T>* out, Fast fast,
                      Slow slow) {
  const bool is_list = PyList_Check(obj);
  if (!is_list && !PyTuple_Check(obj)) {
    set_error_utf8(PyExc_TypeError,
                   std::string(f) + "(): " + std::string(name) + " expected a sequence, got " + type_name(obj));
    return false;
  }
  Py_ssize_t n = 0;
  if (Py_IS_TYPE(obj, &PyList_Type)) {
    n = PyList_Size(obj);
  } else if (Py_IS_TYPE(obj, &PyTuple_Type)) {
    n = PyTuple_Size(obj);
  } else {
    n = PyObject_Size(obj);
    if (n < 0) {
      if (!PyErr_Occurred()) set_error_utf8(PyExc_ValueError, "__len__() should return >= 0");
      return false;
    }
  }
  T* data = nullptr;
  try {
    data = out->reserve(n);
  } catch (...) {
    PyErr_NoMemory();
    return false;
  }
  const SeqAccess access{obj, is_list};
  Py_ssize_t i = 0;
  for (; i < n; ++i) {
    PyObject* o = access.item(i);
    if (o == nullptr || !fast(o, &data[i])) break;
    if (signal_turn(i) && PyErr_CheckSignals() != 0) {
      out->clear();
      return false;
    }
  }
  for (; i < n; ++i) {
    if (!slow(access.item(i), &data[i]) || (signal_turn(i) && PyErr_CheckSignals() != 0)) {
      out->clear();
      return false;
    }
  }
  return true;
}

}  // namespace

bool from_py_int_seq(PyObject* obj, std::string_view f, std::string_view name, SeqBuffer<int64_t>* out) {
  return convert_sequence<int64_t>(
      obj, f, name, out,
      [](PyObject* o, int64_t* v) {
        if (!exact_int(o)) return false;
        int overflow = 0;
        *v = PyLong_AsLongLongAndOverflow(o, &overflow);
        return overflow == 0;
      },
      [name](PyObject* o, int64_t* v) { return from_py_int(o, name, v); });
}

bool from_py_f64_seq(PyObject* obj, std::string_view f, std::string_view name, SeqBuffer<double>* out) {
  return convert_sequence<double>(
      obj, f, name, out,
      [](PyObject* o, double* v) {
        if (exact_float(o)) {
          *v = PyFloat_AsDouble(o);
          return true;
        }
        if (!exact_int(o)) return false;
        int overflow = 0;
        const long long x = PyLong_AsLongLongAndOverflow(o, &overflow);
        *v = static_cast<double>(x);
        return overflow == 0;
      },
      [name](PyObject* o, double* v) { return from_py_f64(o, name, v); });
}

// ---- result conversions -------------------------------------------------------

namespace {

template <class T, class Make>
PyObject* build_list(Span<const T> values, Make make) {
  PyObject* list = PyList_New(values.size());
  if (list == nullptr) return nullptr;
  for (int64_t i = 0; i < values.size(); ++i) {
    PyObject* item = make(values[i]);
    if (item == nullptr) {
      Py_DECREF(list);
      return nullptr;
    }
    PyList_SetItem(list, i, item);
    if (signal_turn(i) && PyErr_CheckSignals() != 0) {
      Py_DECREF(list);  // its unset tail is null, which the list's release skips
      return nullptr;
    }
  }
  return list;
}

}  // namespace

PyObject* list_from_f64(F64Span values) { return build_list(values, PyFloat_FromDouble); }
// Tableaux and measurement records are mostly 0s and 1s. The list starts
// as n references to the shared 0 (one repetition of a one-item list, which
// the host fills without a call per item); only the other entries are then
// set one at a time, the 1s from one shared object too. The entries are
// scanned 64 at a time for the non-zero ones, so that random 0s and 1s cost
// no mispredicted branch per entry.
namespace {

constexpr int64_t kBlock = 64;
static_assert(kSignalStride % kBlock == 0);

// Bit j set where entry j of the block is not zero.
template <class T>
inline uint64_t nonzero_bits(const T* v, int64_t count) {
  uint64_t bits = 0;
  int64_t j = 0;
  if constexpr (sizeof(T) == 1) {
    // Eight bytes per step: the top bit of each byte of t is set where the
    // byte is not zero, and the multiply gathers those eight bits into the
    // top byte (bit k of it from byte k).
    constexpr uint64_t kLow7 = 0x7f7f7f7f7f7f7f7fULL;
    for (; j + 8 <= count; j += 8) {
      uint64_t w;
      std::memcpy(&w, v + j, 8);
      const uint64_t t = (((w & kLow7) + kLow7) | w) & ~kLow7;
      bits |= (((t >> 7) * 0x0102040810204080ULL) >> 56) << j;
    }
  }
  for (; j < count; ++j) bits |= static_cast<uint64_t>(v[j] != 0) << j;
  return bits;
}

template <class T>
PyObject* list_of_mostly_bits(Span<const T> values) {
  static PyObject* const bits[2] = {PyLong_FromLong(0), PyLong_FromLong(1)};
  if (bits[0] == nullptr || bits[1] == nullptr) return PyErr_NoMemory();
  PyObject* one_zero = PyList_New(1);
  if (one_zero == nullptr) return nullptr;
  Py_INCREF(bits[0]);
  PyList_SetItem(one_zero, 0, bits[0]);
  PyObject* list = PySequence_Repeat(one_zero, static_cast<Py_ssize_t>(values.size()));
  Py_DECREF(one_zero);
  if (list == nullptr) return nullptr;
  const T* v = values.data();
  const int64_t n = values.size();
  for (int64_t start = 0; start < n; start += kBlock) {
    if (signal_turn(start + kBlock - 1) && PyErr_CheckSignals() != 0) {
      Py_DECREF(list);
      return nullptr;
    }
    const int64_t count = n - start < kBlock ? n - start : kBlock;
    for (uint64_t set = nonzero_bits(v + start, count); set != 0; set &= set - 1) {
      const int64_t i = start + std::countr_zero(set);
      PyObject* item = nullptr;
      if (v[i] == 1) {
        Py_INCREF(bits[1]);
        item = bits[1];
      } else {
        item = PyLong_FromLongLong(static_cast<long long>(v[i]));
        if (item == nullptr) {
          Py_DECREF(list);
          return nullptr;
        }
      }
      PyList_SetItem(list, i, item);  // releases the 0 it replaces
    }
  }
  return list;
}

}  // namespace

PyObject* list_from_i64(I64Span values) { return list_of_mostly_bits(values); }
PyObject* list_from_bits(Span<const uint8_t> values) { return list_of_mostly_bits(values); }

}  // namespace orvane::py
