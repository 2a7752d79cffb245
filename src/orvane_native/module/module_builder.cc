#include "orvane_native/module/module_builder.h"

#include <cstring>

namespace orvane::py {

Module::Module(const char* name, const char* doc) : name_(name), doc_(doc) {
  std::memset(&def_, 0, sizeof(def_));
  def_.m_base = PyModuleDef_HEAD_INIT;
}

void Module::add_function_owned(const PyMethodDef& def) {
  PyMethodDef copy = def;
  copy.ml_name = texts_.emplace_back(def.ml_name).c_str();
  copy.ml_doc = (def.ml_doc == nullptr || def.ml_doc[0] == '\0') ? nullptr : texts_.emplace_back(def.ml_doc).c_str();
  methods_.push_back(copy);
}

int Module::install_functions(PyObject* module) {
  if (methods_.size() <= 1) return 0;  // only the terminator
  return PyModule_AddFunctions(module, methods_.data());
}

PyObject* Module::seal() {
  methods_.push_back(PyMethodDef{nullptr, nullptr, 0, nullptr});
  def_.m_name = name_.c_str();
  def_.m_doc = doc_.c_str();
  def_.m_size = 0;
  def_.m_methods = nullptr;
  slots_.push_back(PyModuleDef_Slot{Py_mod_exec, reinterpret_cast<void*>(exec_)});
  slots_.push_back(PyModuleDef_Slot{0, nullptr});
  def_.m_slots = slots_.data();
  sealed_ = true;
  return PyModuleDef_Init(&def_);
}

}  // namespace orvane::py
