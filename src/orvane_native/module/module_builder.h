// Assembles the module definition: the method table (entries copied with
// process-lifetime name and docstring texts), the module slots and the exec
// hook. Built once on the first call of the init export and never freed.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "orvane_native/module/python.h"

namespace orvane::py {

class Module {
 public:
  Module(const char* name, const char* doc);

  // Appends one method-table entry, copying its name and docstring.
  void add_function_owned(const PyMethodDef& def);
  void set_exec(int (*exec)(PyObject*)) { exec_ = exec; }
  // Adds the finished table to a module object; nothing when it is empty.
  int install_functions(PyObject* module);
  // Finishes the definition and hands it to the host for multi-phase init.
  PyObject* seal();
  bool sealed() const { return sealed_; }
  PyObject* init() { return PyModuleDef_Init(&def_); }

 private:
  std::vector<PyMethodDef> methods_;
  PyModuleDef def_;
  std::string name_;
  std::string doc_;
  std::vector<PyModuleDef_Slot> slots_;
  int (*exec_)(PyObject*) = nullptr;
  std::deque<std::string> texts_;  // stable storage for copied names and docstrings
  bool sealed_ = false;
};

}  // namespace orvane::py
