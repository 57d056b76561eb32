// hesk.Reader and hesk.Event: events of this host's buffer manager for
// monitors written in Python.
#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>

#include "bindings.h"
#include "errors.h"
#include "event_util.h"
#include "online_reader.h"

namespace heskpy {

namespace {

// How long one wait for an event lasts before Python's signals are checked.
constexpr long kSliceMs = 100;

struct PyEvent {
  uint64_t number;
  int type;
  double time;
  py::dict channels;
};

PyEvent to_python(OnlineEvent* ev) {
  PyEvent p{ev->number, ev->type, ev->time, py::dict()};
  for (auto& c : ev->channels) {
    auto* v = new std::vector<float>(std::move(c.second));
    py::capsule owner(v, [](void* q) { delete static_cast<std::vector<float>*>(q); });
    p.channels[name_str(c.first)] =
        py::array_t<float>({v->size()}, {sizeof(float)}, v->data(), owner);
  }
  return p;
}

int type_of(const py::handle& t) {
  int type = -1;
  if (py::isinstance<py::int_>(t)) {
    const long long v = t.cast<long long>();
    type = v >= 0 && v < KOVA_EV_EVMAX ? static_cast<int>(v) : -1;
  } else if (py::isinstance<py::str>(t)) {
    type = event_type_of(t.cast<std::string>());
  } else {
    throw py::type_error("an event type is a number 0-31 or a name such as 'NORMAL'");
  }
  if (type < 0)
    throw py::value_error("unknown event type " + py::repr(t).cast<std::string>() +
                          " (a number 0-31 or a name from hesk.event_types)");
  return type;
}

std::vector<std::string> names_of(const py::handle& names, const char* what) {
  std::vector<std::string> out;
  if (py::isinstance<py::str>(names) || py::isinstance<py::bytes>(names)) {
    out.push_back(name_text(names));
  } else {
    for (const py::handle& n : names) {
      if (!py::isinstance<py::str>(n) && !py::isinstance<py::bytes>(n))
        throw py::type_error(std::string(what) + " must be names (str)");
      out.push_back(name_text(n));
    }
  }
  for (const std::string& n : out)
    if (n.empty() || n.size() > 255)
      throw py::value_error(std::string(what) + ": a name must have 1 to 255 characters");
  return out;
}

class PyReader {
 public:
  PyReader(const py::object& types, const py::object& channels, const py::object& blocks,
           long long max_queue, const py::object& layout) {
    ReaderOptions o;
    if (py::isinstance<py::int_>(types) || py::isinstance<py::str>(types)) {
      o.types.push_back(type_of(types));
    } else {
      for (const py::handle& t : types) {
        const int type = type_of(t);
        if (std::find(o.types.begin(), o.types.end(), type) == o.types.end())
          o.types.push_back(type);
      }
    }
    if (o.types.empty()) throw py::value_error("give at least one event type");
    o.channels = names_of(channels, "channels");
    if (!blocks.is_none()) {
      o.blocks = names_of(blocks, "blocks");
      o.wait_for_blocks = !o.blocks.empty();
    }
    if (max_queue < 1) throw py::value_error("max_queue must be at least 1");
    o.max_queue = static_cast<size_t>(max_queue);
    int lay = 0;
    if (!layout.is_none()) {
      lay = layout.cast<int>();
      if (lay != 2010 && lay != 2024) throw py::value_error("layout must be 2010, 2024 or None");
    }
    py::gil_scoped_release unlocked;
    reader_ = open_reader(o, lay);
  }

  ~PyReader() {
    // Stopping the reader thread may take a moment; Python goes on meanwhile.
    py::gil_scoped_release unlocked;
    reader_.reset();
  }
  PyReader(const PyReader&) = delete;
  PyReader& operator=(const PyReader&) = delete;

  py::object next(double timeout_s) {
    // A negative timeout waits until an event comes or the reader is closed.
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::microseconds(static_cast<long long>(timeout_s * 1e6));
    for (;;) {
      long slice = kSliceMs;
      if (timeout_s >= 0) {
        const long left = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                deadline - std::chrono::steady_clock::now())
                                                .count());
        slice = std::max(0L, std::min(slice, left));
      }
      OnlineEvent ev;
      OnlineReader::Wait w;
      {
        py::gil_scoped_release unlocked;
        w = reader_->next(&ev, slice);
      }
      if (w == OnlineReader::Wait::kEvent) return py::cast(to_python(&ev));
      if (w == OnlineReader::Wait::kClosed) return py::none();
      if (PyErr_CheckSignals() != 0) throw py::error_already_set();
      if (timeout_s >= 0 && std::chrono::steady_clock::now() >= deadline) return py::none();
    }
  }

  void close() {
    py::gil_scoped_release unlocked;
    reader_->close();
  }

  OnlineReader& core() const { return *reader_; }

 private:
  std::unique_ptr<OnlineReader> reader_;
};

const char* kReaderDoc = R"(Reader(types, channels, blocks=None, max_queue=1024, layout=None)

A reader of this host's buffer manager for online monitors. It subscribes
to the event types `types` (numbers or names such as "NORMAL"; one or a
list) and, for every event delivered, copies the channels `channels` (one
name or a list) out of the event's server blocks: fast channels by sub-block
name (a name followed by ':k' takes channel k of the block), slow-control
values of heart-beat, run and environment events through the process's
local copies. With `blocks` (server block names) an event is delivered as
soon as those blocks are in; without, once every writer is done.

The copy happens on the buffer manager's reader thread, which then reports
the event done at once: a slow Python loop never holds the host's events.
Copied events wait in a queue of `max_queue`; when it is full the oldest is
dropped and counted in `skipped`. The partition names come from
KOVA_CLI_SHM_NAME and KOVA_EV_SHM_NAME as for every client; `layout` (2010
or 2024) is found from the control partitions when not given.

    with hesk.Reader(["NORMAL"], ["SRV.00/CH.000"]) as r:
        for ev in r:                 # hesk.Event: number, type, time, channels
            print(ev.number, ev.channels.get("SRV.00/CH.000"))

Iteration ends after close(). Without a buffer manager on the host the
constructor raises hesk.Error.)";

}  // namespace

void bind_reader(py::module_& m) {
  py::class_<PyEvent>(m, "Event",
                      "One event delivered to a hesk.Reader.\n\n"
                      "Attributes:\n"
                      "    number: the event number (event id).\n"
                      "    type: the event type (see hesk.event_types).\n"
                      "    time: the event's time stamp, seconds since the epoch.\n"
                      "    channels: dict of channel name -> numpy float32 array, for the\n"
                      "        asked channels the event held.")
      .def_readonly("number", &PyEvent::number, "The event number (event id).")
      .def_readonly("type", &PyEvent::type, "The event type (see hesk.event_types).")
      .def_readonly("time", &PyEvent::time, "The event's time stamp, seconds since the epoch.")
      .def_readonly("channels", &PyEvent::channels,
                    "Channel name -> numpy float32 array, for the asked channels the\n"
                    "event held.")
      .def("__repr__", [](const PyEvent& e) {
        return "<hesk.Event " + std::to_string(e.number) + " " + event_name_itoa(e.type) + " at " +
               std::to_string(e.time) + ", " + std::to_string(py::len(e.channels)) + " channels>";
      });

  py::class_<PyReader>(m, "Reader", kReaderDoc)
      .def(py::init<py::object, py::object, py::object, long long, py::object>(), py::arg("types"),
           py::arg("channels"), py::arg("blocks") = py::none(), py::arg("max_queue") = 1024,
           py::arg("layout") = py::none())
      .def("__iter__", [](py::object self) { return self; })
      .def("__next__",
           [](PyReader& r) {
             py::object ev = r.next(-1);
             if (ev.is_none()) throw py::stop_iteration();
             return ev;
           })
      .def("get", &PyReader::next, py::arg("timeout") = -1.0,
           "get(timeout=-1) -> Event or None\n\n"
           "The next event, waiting at most `timeout` seconds (negative: until one\n"
           "comes); None when none came in time or the reader is closed.")
      .def("close", &PyReader::close,
           "Unsubscribes and lets go of the buffer manager. Events already queued\n"
           "can still be taken; then iteration ends.")
      .def("__enter__", [](py::object self) { return self; })
      .def("__exit__",
           [](PyReader& r, py::args) {
             r.close();
             return false;
           })
      .def_property_readonly(
          "skipped", [](const PyReader& r) { return r.core().skipped(); },
          "Events dropped because the queue was full.")
      .def_property_readonly(
          "received", [](const PyReader& r) { return r.core().received(); },
          "Events delivered to this reader, skipped ones included.")
      .def_property_readonly(
          "closed", [](const PyReader& r) { return r.core().closed(); }, "True after close().")
      .def_property_readonly(
          "layout", [](const PyReader& r) { return r.core().layout_2024() ? 2024 : 2010; },
          "The event-slot layout of this host's buffer manager: 2010 or 2024.")
      .def("__repr__", [](const PyReader& r) {
        return std::string("<hesk.Reader ") + (r.core().closed() ? "closed" : "open") + ", " +
               std::to_string(r.core().received()) + " events received, " +
               std::to_string(r.core().skipped()) + " skipped>";
      });
}

}  // namespace heskpy
