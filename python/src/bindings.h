// The pieces of the extension module hesk._hesk, each registering its part
// of the Python interface. Every function that does C++ work releases the
// interpreter lock around it; numpy arrays handed to Python own their memory
// (or keep its owner alive through a capsule base).
#ifndef HESK_PY_BINDINGS_H
#define HESK_PY_BINDINGS_H

#include <pybind11/pybind11.h>

namespace heskpy {

namespace py = pybind11;

// hesk.Error and its subclasses, and the translation of heskpy::Error.
void bind_errors(py::module_& m);
// hesk.DaqFile and hesk.Channel.
void bind_daq_file(py::module_& m);
// hesk.select.
void bind_select(py::module_& m);
// hesk.Reader and hesk.Event.
void bind_reader(py::module_& m);

// Texts between the files and Python. Names in files are bytes that need
// not be UTF-8: names come to Python with undecodable bytes kept as
// surrogates (so they can be passed back) and texts for reading (dumps,
// messages) with them shown as escapes.
std::string path_text(const py::handle& p);  // str, bytes or os.PathLike
py::str path_str(const std::string& p);      // as os.fsdecode gives it
py::str name_str(const std::string& s);
std::string name_text(const py::handle& s);  // str or bytes
py::str readable_str(const std::string& s);

}  // namespace heskpy

#endif  // HESK_PY_BINDINGS_H
