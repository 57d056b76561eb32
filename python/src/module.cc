// The extension module hesk._hesk: the errors, the event-type names and the
// registration of the file reader, the selection and the online reader. The
// package hesk re-exports it; its docstrings are the package's manual.
#include <cstdint>

#include "bindings.h"
#include "errors.h"
#include "event_util.h"

namespace heskpy {

namespace {

// The exception classes, alive for the life of the process.
PyObject* g_error = nullptr;
PyObject* g_no_file = nullptr;
PyObject* g_no_channel = nullptr;

PyObject* new_class(const char* name, const char* doc, PyObject* bases) {
  PyObject* c = PyErr_NewExceptionWithDoc(name, doc, bases, nullptr);
  if (c == nullptr) throw py::error_already_set();
  return c;
}

void raise_error(const Error& e) {
  py::object exc;
  PyObject* type = g_error;
  switch (e.kind()) {
    case ErrorKind::kBadArgument:
      PyErr_SetObject(PyExc_ValueError, readable_str(e.what()).ptr());
      return;
    case ErrorKind::kNoFile: {
      // As OSError shows it: "[Errno 2] <what>: '<path>'".
      std::string what = e.what();
      const std::string lead = e.path() + ": ";
      if (!e.path().empty() && what.compare(0, lead.size(), lead) == 0) what.erase(0, lead.size());
      type = g_no_file;
      exc = py::reinterpret_borrow<py::object>(type)(e.sys_errno() ? e.sys_errno() : ENOENT,
                                                     readable_str(what), path_str(e.path()));
      break;
    }
    case ErrorKind::kNoChannel:
      type = g_no_channel;
      exc = py::reinterpret_borrow<py::object>(type)(readable_str(e.what()));
      break;
    case ErrorKind::kLibrary:
      exc = py::reinterpret_borrow<py::object>(type)(readable_str(e.what()));
      break;
  }
  exc.attr("code") = e.code();
  exc.attr("message") = readable_str(e.what());
  PyErr_SetObject(type, exc.ptr());
}

}  // namespace

namespace {

py::str decoded(const std::string& s, const char* errors) {
  PyObject* o = PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), errors);
  if (o == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(o);
}

}  // namespace

std::string path_text(const py::handle& p) {
  return py::module_::import("os").attr("fsencode")(p).cast<std::string>();
}

py::str path_str(const std::string& p) {
  return py::module_::import("os").attr("fsdecode")(py::bytes(p));
}

py::str name_str(const std::string& s) {
  return decoded(s, "surrogateescape");
}

std::string name_text(const py::handle& s) {
  if (py::isinstance<py::bytes>(s)) return s.cast<std::string>();
  if (!py::isinstance<py::str>(s)) throw py::type_error("a name is a str");
  PyObject* b = PyUnicode_AsEncodedString(s.ptr(), "utf-8", "surrogateescape");
  if (b == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::bytes>(b).cast<std::string>();
}

py::str readable_str(const std::string& s) {
  return decoded(s, "backslashreplace");
}

void bind_errors(py::module_& m) {
  g_error = new_class("hesk.Error",
                      "A failure reported by the DAQ libraries.\n\n"
                      "Attributes:\n"
                      "    code: the result code of the library call that failed (for\n"
                      "        example -2 for a file without an end marker, -5 for a table\n"
                      "        that is not where the reference table points), or -1 where\n"
                      "        the library only says that the call failed.\n"
                      "    message: what failed, naming the file, event and channel.",
                      PyExc_Exception);
  PyObject* no_file_bases = PyTuple_Pack(2, g_error, PyExc_FileNotFoundError);
  g_no_file = new_class("hesk.FileMissingError",
                        "A DAQ file, an archive or its run catalogs do not exist.\n\n"
                        "Both a hesk.Error and a FileNotFoundError.",
                        no_file_bases);
  Py_DECREF(no_file_bases);
  PyObject* no_channel_bases = PyTuple_Pack(2, g_error, PyExc_KeyError);
  g_no_channel = new_class("hesk.ChannelMissingError",
                           "A channel that the file or the block does not hold.\n\n"
                           "Both a hesk.Error and a KeyError.",
                           no_channel_bases);
  Py_DECREF(no_channel_bases);
  m.attr("Error") = py::handle(g_error);
  m.attr("FileMissingError") = py::handle(g_no_file);
  m.attr("ChannelMissingError") = py::handle(g_no_channel);
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const Error& e) {
      raise_error(e);
    }
  });
}

}  // namespace heskpy

PYBIND11_MODULE(_hesk, m) {
  namespace py = pybind11;
  m.doc() =
      "The compiled part of the hesk package: DAQ raw files, archive selection\n"
      "and the online reader. Use it through the package: import hesk.";
  heskpy::bind_errors(m);
  py::dict types;
  for (int t = 0; t < KOVA_EV_EVMAX; ++t) types[event_name_itoa(t)] = t;
  m.attr("event_types") = types;
  heskpy::bind_daq_file(m);
  heskpy::bind_select(m);
  heskpy::bind_reader(m);
}
