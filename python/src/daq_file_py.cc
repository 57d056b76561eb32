// hesk.DaqFile and hesk.Channel: a DAQ raw file and one channel read from it
// as numpy arrays.
#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cstring>
#include <memory>

#include "bindings.h"
#include "daq_file.h"
#include "errors.h"
#include "event_util.h"

namespace heskpy {

namespace {

// One channel in every event that holds it.
struct Channel {
  py::object name;
  py::object number;
  py::object time;
  py::object values;
};

// The samples as one 2-D array when every event holds as many, else as an
// object array of 1-D arrays; both share one buffer, freed with the last.
py::object values_of(ChannelRead* r) {
  const size_t n = r->number.size();
  float* data = r->samples.release();
  py::capsule owner(data, [](void* p) { free(p); });
  const auto& at = r->row_start;
  const size_t width = n > 0 ? at[1] - at[0] : 0;
  bool uniform = true;
  for (size_t i = 0; i < n && uniform; ++i) uniform = at[i + 1] - at[i] == width;
  if (uniform) {
    return py::array_t<float>({n, width}, {width * sizeof(float), sizeof(float)}, data, owner);
  }
  py::object rows = py::module_::import("numpy").attr("empty")(n, "O");
  for (size_t i = 0; i < n; ++i) {
    py::array_t<float> row({at[i + 1] - at[i]}, {sizeof(float)}, data + at[i], owner);
    rows.attr("__setitem__")(i, row);
  }
  return rows;
}

template <typename T>
py::array_t<T> array_of(const std::vector<T>& v) {
  py::array_t<T> a(v.size());
  if (!v.empty()) memcpy(a.mutable_data(), v.data(), v.size() * sizeof(T));
  return a;
}

py::object read_only(py::array a) {
  a.attr("flags").attr("writeable") = false;
  return std::move(a);
}

class PyDaqFile {
 public:
  explicit PyDaqFile(const py::object& path) {
    const std::string p = path_text(path);
    py::gil_scoped_release unlocked;
    core_ = std::make_shared<DaqFile>(p);
  }

  DaqFile& core() const { return *core_; }

  py::object events() {
    if (!events_.is_none()) return events_;
    std::vector<uint64_t> lengths;
    {
      py::gil_scoped_release unlocked;
      lengths = core_->event_lengths();
    }
    const auto& ev = core_->events();
    py::module_ np = py::module_::import("numpy");
    py::list fields;
    fields.append(py::make_tuple("number", "<u8"));
    fields.append(py::make_tuple("type", "<i4"));
    fields.append(py::make_tuple("seconds", "<u4"));
    fields.append(py::make_tuple("micros", "<u4"));
    fields.append(py::make_tuple("offset", "<u8"));
    fields.append(py::make_tuple("length", "<u8"));
    py::array table = np.attr("zeros")(ev.size(), np.attr("dtype")(fields));
    std::vector<uint64_t> number, offset;
    std::vector<int32_t> type;
    std::vector<uint32_t> seconds, micros;
    for (const EventEntry& e : ev) {
      number.push_back(e.number);
      type.push_back(e.type);
      seconds.push_back(e.seconds);
      micros.push_back(e.micros);
      offset.push_back(e.offset);
    }
    table.attr("__setitem__")("number", array_of(number));
    table.attr("__setitem__")("type", array_of(type));
    table.attr("__setitem__")("seconds", array_of(seconds));
    table.attr("__setitem__")("micros", array_of(micros));
    table.attr("__setitem__")("offset", array_of(offset));
    table.attr("__setitem__")("length", array_of(lengths));
    events_ = read_only(table);
    return events_;
  }

  py::list channel_names() const {
    py::list names;
    for (const ChannelEntry& c : core_->channels()) names.append(name_str(c.name));
    return names;
  }

  Channel read(const py::handle& asked) const {
    const std::string name = name_text(asked);
    ChannelRead r;
    {
      py::gil_scoped_release unlocked;
      r = core_->read(name);
    }
    Channel c;
    c.name = py::reinterpret_borrow<py::object>(asked);
    c.number = array_of(r.number);
    c.time = array_of(r.time);
    c.values = values_of(&r);
    return c;
  }

  py::dict info(const py::handle& asked) const {
    const std::string name = name_text(asked);
    ChannelShape s;
    {
      py::gil_scoped_release unlocked;
      s = core_->shape(name);
    }
    py::dict d;
    d["events"] = s.events;
    d["samples"] = s.samples;
    d["type"] = s.dtype;
    d["type_name"] = s.dtype ? py::str(block_name_itoa(s.dtype)) : py::str("");
    return d;
  }

  size_t index(long long i) const {
    const long long n = static_cast<long long>(core_->events().size());
    if (i < 0) i += n;
    if (i < 0 || i >= n)
      throw py::index_error("event index " + std::to_string(i < 0 ? i - n : i) +
                            " out of range: the file holds " + std::to_string(n) + " events");
    return static_cast<size_t>(i);
  }

  py::bytes event(long long i) const {
    const size_t k = index(i);
    std::vector<uint64_t> buf;
    size_t length = 0;
    {
      py::gil_scoped_release unlocked;
      buf = core_->event(k, &length);
    }
    return py::bytes(reinterpret_cast<const char*>(buf.data()), length);
  }

  py::str dump(long long i) const {
    const size_t k = index(i);
    std::string text;
    {
      py::gil_scoped_release unlocked;
      text = core_->dump(k);
    }
    return readable_str(text);
  }

  void close() {
    py::gil_scoped_release unlocked;
    core_->close();
  }

 private:
  std::shared_ptr<DaqFile> core_;
  py::object events_ = py::none();
};

const char* kDaqFileDoc = R"(A DAQ raw file of any generation (2009, 2010, 2024) and byte order.

DaqFile(path) maps the file, recognises its generation and byte order from
its trailer and reads its event index and channel dictionary. Use it as a
context manager, or call close():

    with hesk.DaqFile("run42_file1.raw") as f:
        print(f.generation, f.swapped, len(f), f.channels[:3])
        ch = f.read("SRV.00/CH.000")     # ch.number, ch.time, ch.values

Everything it returns is a copy in host byte order, valid after close().
A missing file raises hesk.FileMissingError (a FileNotFoundError), a file
that is not a DAQ file or is damaged raises hesk.Error, and so does a file
that shrank since it was opened.)";

const char* kReadDoc = R"(read(name) -> Channel

The channel `name` in every event that holds it, in file order, found
through the file's channel dictionary and pointer tables and read as the
channel accessors read it. `name` is a name from `channels` (every channel
of that sub-block, channel 0 first) or such a name followed by ':' and a
channel number ("SRV.A/BPM:1").

Returns a Channel with numpy arrays `number` (uint64 event numbers), `time`
(float64 seconds since the epoch) and `values` (float32, one row per
event; an object array of rows when the events hold different numbers of
samples). An unknown name raises KeyError (hesk.ChannelMissingError); a
block that has no samples, is compressed or is damaged raises hesk.Error.)";

const char* kChannelDoc = R"(One channel read from DAQ files.

Attributes:
    name: the channel name asked for.
    number: numpy uint64 array, the event numbers.
    time: numpy float64 array, the event times in seconds since the epoch.
    values: numpy float32 array of shape (events, samples), one row per
        event (an object array of 1-D rows when the sample counts differ).

len(channel) is the number of events.)";

}  // namespace

void bind_daq_file(py::module_& m) {
  py::class_<Channel>(m, "Channel", kChannelDoc)
      .def(py::init([](py::object name, py::object number, py::object time, py::object values) {
             return Channel{std::move(name), std::move(number), std::move(time), std::move(values)};
           }),
           py::arg("name"), py::arg("number"), py::arg("time"), py::arg("values"),
           "Channel(name, number, time, values): a channel made of arrays.")
      .def_readonly("name", &Channel::name, "The channel name asked for.")
      .def_readonly("number", &Channel::number, "The event numbers (numpy uint64).")
      .def_readonly("time", &Channel::time,
                    "The event times in seconds since the epoch (numpy float64).")
      .def_readonly("values", &Channel::values,
                    "The samples (numpy float32), one row per event: shape (events,\n"
                    "samples), or an object array of rows when the counts differ.")
      .def("__len__", [](const Channel& c) { return py::len(c.number); })
      .def("__repr__", [](const Channel& c) {
        return py::str("<hesk.Channel {}: {} events, values {}>")
            .format(c.name, py::len(c.number), c.values.attr("shape"));
      });

  py::class_<PyDaqFile>(m, "DaqFile", kDaqFileDoc)
      .def(py::init<py::object>(), py::arg("path"))
      .def_property_readonly(
          "path", [](const PyDaqFile& f) { return path_str(f.core().path()); }, "The file's path.")
      .def_property_readonly(
          "generation", [](const PyDaqFile& f) { return f.core().generation(); },
          "The record generation: 2009, 2010 or 2024.")
      .def_property_readonly(
          "swapped", [](const PyDaqFile& f) { return f.core().swapped(); },
          "True when the file was written in the byte order opposite to this host's.")
      .def_property_readonly(
          "size", [](const PyDaqFile& f) { return f.core().size(); }, "The file's length in bytes.")
      .def_property_readonly(
          "closed", [](const PyDaqFile& f) { return f.core().closed(); }, "True after close().")
      .def_property_readonly("events", &PyDaqFile::events,
                             "Every event in file order as a read-only numpy structured array\n"
                             "with the fields number, type, seconds, micros, offset and length\n"
                             "(the event's bytes in the file).")
      .def_property_readonly("channels", &PyDaqFile::channel_names,
                             "The channel names of the file's dictionary, in dictionary order.")
      .def(
          "__len__", [](const PyDaqFile& f) { return f.core().events().size(); },
          "The number of events in the file.")
      .def("read", &PyDaqFile::read, py::arg("name"), kReadDoc)
      .def("info", &PyDaqFile::info, py::arg("name"),
           "info(name) -> dict\n\n"
           "What reading `name` would give, without reading it: 'events' (the\n"
           "events that hold it), 'samples' (samples in the first of them),\n"
           "'type' and 'type_name' (its sub-block type).")
      .def("event", &PyDaqFile::event, py::arg("i"),
           "event(i) -> bytes\n\n"
           "Event i (file order; negative counts from the end) as bytes in host\n"
           "byte order: header, server blocks and tail.")
      .def("dump", &PyDaqFile::dump, py::arg("i"),
           "dump(i) -> str\n\n"
           "The text the event printer prints for event i: the header, every\n"
           "server block with its channels, the tail.")
      .def("close", &PyDaqFile::close,
           "Unmaps the file. Arrays already read stay valid; later calls raise\n"
           "ValueError.")
      .def("__enter__", [](py::object self) { return self; })
      .def("__exit__",
           [](PyDaqFile& f, py::args) {
             f.close();
             return false;
           })
      .def(py::pickle([](const PyDaqFile& f) { return py::make_tuple(path_str(f.core().path())); },
                      [](py::tuple t) { return PyDaqFile(t[0]); }))
      .def("__repr__", [](const PyDaqFile& f) {
        const DaqFile& c = f.core();
        if (c.closed()) return readable_str("<hesk.DaqFile " + c.path() + " (closed)>");
        return readable_str("<hesk.DaqFile " + c.path() + ": " + std::to_string(c.generation()) +
                            (c.swapped() ? " swapped" : "") + ", " +
                            std::to_string(c.events().size()) + " events, " +
                            std::to_string(c.channels().size()) + " channels>");
      });
}

}  // namespace heskpy
