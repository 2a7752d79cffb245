// The three Python classes: heap types created from specs by the exec hook.
// Each instance holds its native record inline after the object header; the
// record owns buffer-backed fields that never move, so NativeState and
// NativeDensity can export them zero-copy.
#include "orvane_native/module/classes.h"

#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "orvane_native/module/binding.h"
#include "orvane_native/module/class_defs.h"

namespace orvane::py {
namespace {

// The constructor's parameters, which its text signature lists too.
constexpr std::string_view kConstructorParams[] = {"num_qubits"};

template <class Record>
PyObject* instance_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  using T = ClassTraits<Record>;
  const Params params{T::short_name, kConstructorParams, 1};
  PyObject* slots[1] = {};
  if (!bind_new_args(args, kwargs, slots, params)) return nullptr;
  int64_t n = 0;
  if (!from_py_int(slots[0], "num_qubits", &n)) return nullptr;
  PyObject* self = PyType_GenericAlloc(type, 0);
  if (self == nullptr) return PyErr_NoMemory();
  Record* record = new (&record_of<Record>(self)) Record();
  if (!guarded([&] { *record = T::make(n); })) {
    Py_DECREF(self);  // destroys the half-made instance
    return nullptr;
  }
  return self;
}

template <class Record>
void instance_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  record_of<Record>(self).~Record();  // frees every buffer-backed field
  if (PyType_GetFlags(type) & Py_TPFLAGS_HAVE_GC) PyObject_GC_UnTrack(self);
  auto free_fn = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free_fn(self);
  Py_DECREF(type);
}

template <class Record>
PyObject* instance_repr(PyObject* self) {
  const std::string text = ClassTraits<Record>::repr(record_of<Record>(self));
  return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

Py_hash_t instance_hash(PyObject* self) {
  const auto h = static_cast<Py_hash_t>(reinterpret_cast<uintptr_t>(self) >> 4);
  return h == -1 ? -2 : h;
}

PyObject* instance_richcompare(PyObject* a, PyObject* b, int op) {
  if (op == Py_EQ) return PyBool_FromLong(a == b);
  if (op == Py_NE) return PyBool_FromLong(a != b);
  Py_RETURN_NOTIMPLEMENTED;
}

template <class Record>
PyObject* get_num_qubits(PyObject* self, void*) {
  return PyLong_FromLongLong(record_of<Record>(self).num_qubits);
}

template <class Record>
int set_num_qubits(PyObject* self, PyObject* value, void*) {
  if (value == nullptr) {
    set_error_utf8(PyExc_AttributeError,
                   std::string(ClassTraits<Record>::short_name) + ".num_qubits cannot be deleted");
    return -1;
  }
  int64_t n = 0;
  if (!from_py_int(value, "value", &n)) return -1;
  record_of<Record>(self).num_qubits = n;
  return 0;
}

// ---- buffer export ------------------------------------------------------------

char kFloatFormat[] = "d";

int buffer_fill_typed(Py_buffer* view, PyObject* owner, void* data, Py_ssize_t bytes, Py_ssize_t itemsize,
                      bool readonly, int flags) {
  if (view == nullptr) {
    PyErr_SetString(PyExc_BufferError, "cannot fill this buffer");
    return -1;
  }
  if (readonly && (flags & PyBUF_WRITABLE) == PyBUF_WRITABLE) {
    PyErr_SetString(PyExc_BufferError, "Object is not writable.");
    return -1;
  }
  Py_INCREF(owner);
  view->obj = owner;
  view->buf = data;
  view->readonly = readonly ? 1 : 0;
  view->len = bytes;
  view->itemsize = itemsize;
  view->format = kFloatFormat;
  view->ndim = 1;
  view->shape = nullptr;
  view->strides = nullptr;
  view->suboffsets = nullptr;
  view->internal = nullptr;
  return 0;
}

// Where an empty export points: a record whose construction failed has no
// storage, and a view's buffer must not be null (consumers hand it to memcpy).
double g_no_storage[1] = {};

template <class Record>
int get_buffer(PyObject* self, Py_buffer* view, int flags) {
  const auto& field = ClassTraits<Record>::field(record_of<Record>(self));
  void* data = field.data() != nullptr ? static_cast<void*>(field.data()) : static_cast<void*>(g_no_storage);
  const int rc = buffer_fill_typed(view, self, data, static_cast<Py_ssize_t>(field.size()) * 8, 8,
                                   false, flags);
  if (rc == 0) buffer_views_incr(field.data());
  return rc;
}

template <class Record>
void release_buffer(PyObject* self, Py_buffer*) {
  buffer_views_decr(ClassTraits<Record>::field(record_of<Record>(self)).data());
}

// ---- type creation --------------------------------------------------------------

template <class Record>
PyObject* create_type() {
  using T = ClassTraits<Record>;
  static std::vector<PyMethodDef> methods = [] {
    std::vector<PyMethodDef> m = method_table<Record>();
    m.push_back({nullptr, nullptr, 0, nullptr});
    return m;
  }();
  static PyGetSetDef getset[] = {
      {"num_qubits", &get_num_qubits<Record>, &set_num_qubits<Record>, nullptr, nullptr},
      {nullptr, nullptr, nullptr, nullptr, nullptr},
  };
  std::vector<PyType_Slot> slots = {
      {Py_tp_new, reinterpret_cast<void*>(&instance_new<Record>)},
      {Py_tp_dealloc, reinterpret_cast<void*>(&instance_dealloc<Record>)},
      {Py_tp_methods, methods.data()},
      {Py_tp_getset, getset},
      {Py_tp_repr, reinterpret_cast<void*>(&instance_repr<Record>)},
      {Py_tp_richcompare, reinterpret_cast<void*>(&instance_richcompare)},
      {Py_tp_hash, reinterpret_cast<void*>(&instance_hash)},
  };
  if constexpr (T::exports_buffer) {
    slots.push_back({Py_bf_getbuffer, reinterpret_cast<void*>(&get_buffer<Record>)});
    slots.push_back({Py_bf_releasebuffer, reinterpret_cast<void*>(&release_buffer<Record>)});
  }
  // "NativeState(num_qubits)\n--\n\n" and the docstring: CPython serves the
  // first part as the type's __text_signature__ (the constructor's signature
  // for inspect.signature) and the rest as __doc__. The type copies the text.
  static const std::string doc = [] {
    std::string text(write_signed_doc(nullptr, T::short_name, kConstructorParams, 1, false, T::doc), '\0');
    write_signed_doc(text.data(), T::short_name, kConstructorParams, 1, false, T::doc);
    return text;
  }();
  slots.push_back({Py_tp_doc, const_cast<char*>(doc.c_str())});
  slots.push_back({0, nullptr});
  PyType_Spec type_spec{T::qualified_name, static_cast<int>(sizeof(PyObject) + sizeof(Record)), 0,
                   Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE, slots.data()};
  return PyType_FromSpec(&type_spec);
}

// Process-wide slots holding the most recently created types.
PyObject* g_types[3] = {};

template <class Record>
int add_class(PyObject* module, int index) {
  PyObject* type = create_type<Record>();
  if (type == nullptr || PyErr_Occurred()) {
    std::fprintf(stderr, "tessor: cannot create the type %s\n", ClassTraits<Record>::short_name);
    Py_XDECREF(type);
    return -1;
  }
  PyObject* old = g_types[index];
  Py_INCREF(type);
  g_types[index] = type;
  Py_XDECREF(old);
  const int rc = PyModule_AddObjectRef(module, ClassTraits<Record>::short_name, type);
  Py_DECREF(type);
  return rc;
}

}  // namespace

int add_classes(PyObject* module) {
  if (add_class<NativeTableau>(module, 0) < 0) return -1;
  if (add_class<NativeState>(module, 1) < 0) return -1;
  if (add_class<NativeDensity>(module, 2) < 0) return -1;
  return 0;
}

}  // namespace orvane::py
