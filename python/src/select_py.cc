// hesk.select: the data files of runs, a period or a writer of an archive.
#include <pybind11/stl.h>

#include <cmath>

#include "bindings.h"
#include "select.h"

namespace heskpy {

namespace {

// Seconds since the epoch from a number or a datetime (naive: local time).
unsigned int seconds_of(const py::handle& t, const char* what) {
  double s;
  if (py::hasattr(t, "timestamp"))
    s = t.attr("timestamp")().cast<double>();
  else if (py::isinstance<py::int_>(t) || py::isinstance<py::float_>(t))
    s = t.cast<double>();
  else
    throw py::type_error(std::string(what) + " must be a datetime or seconds since the epoch");
  if (!std::isfinite(s) || s < 0 || s > 4294967295.0)
    throw py::value_error(std::string(what) + " lies outside the times the archive can hold");
  return static_cast<unsigned int>(s);
}

int format_of(const py::handle& f) {
  static const char* const kNames[] = {"root", "raw", "both", "raw64"};
  if (py::isinstance<py::str>(f)) {
    const std::string s = f.cast<std::string>();
    for (int i = 0; i < 4; ++i)
      if (s == kNames[i]) return i;
  } else if (py::isinstance<py::int_>(f)) {
    const int i = f.cast<int>();
    if (i >= 0 && i < 4) return i;
  }
  throw py::value_error("format must be 'root', 'raw', 'both' or 'raw64'");
}

std::pair<long long, long long> run_range(const py::handle& r) {
  if (py::isinstance<py::int_>(r)) {
    const long long n = r.cast<long long>();
    return {n, n};
  }
  if (!py::isinstance<py::sequence>(r) || py::isinstance<py::str>(r) || py::len(r) != 2)
    throw py::type_error("runs must be a list of (first, last) pairs");
  py::sequence pair = py::reinterpret_borrow<py::sequence>(r);
  const long long a = pair[0].cast<long long>(), b = pair[1].cast<long long>();
  if (a > b) throw py::value_error("a run range ends before it starts");
  return {a, b};
}

const char* kSelectDoc =
    R"(select(root, runs=None, start=None, end=None, writer=None, exp=None, adm=None, format="raw") -> list of str

The data files of runs, of a period or of one writer, from the archive's
run catalogs and index files (the data files themselves are not read).

    root    the archive's data root; the run catalogs and index files are
            under root/adm unless `adm` names another directory.
    runs    a list of (first, last) run ranges (a plain number is one run);
            None with no `start`: every run.
    start, end
            a period instead of runs: datetime objects (naive ones are local
            time) or seconds since the epoch; without `end` the instant
            `start`. Runs still being taken are not selected by period.
    writer  only the files of that writer (with runs).
    exp     only that experiment; None: every experiment in the catalogs,
            one after the other by name.
    format  'raw' (.idev index files, .raw data files, the default),
            'root' (.idx, .root), 'both', or 'raw64' (.idev64).

Returns the paths of the files: runs in catalog order, the files of a run
ordered by the time stamp in their names. A missing archive raises
hesk.FileMissingError; unreadable catalogs raise hesk.Error.)";

}  // namespace

void bind_select(py::module_& m) {
  m.def(
      "select",
      [](const py::object& root, const py::object& runs, const py::object& start,
         const py::object& end, const py::object& writer, const py::object& exp,
         const py::object& adm, const py::object& format) {
        Selection s;
        s.root = path_text(root);
        if (!adm.is_none()) s.adm = path_text(adm);
        if (!exp.is_none()) s.exp = name_text(exp);
        s.format = format_of(format);
        if (!start.is_none()) {
          if (!runs.is_none()) throw py::value_error("give either runs or start, not both");
          s.by_period = true;
          s.start = seconds_of(start, "start");
          if (!end.is_none()) {
            s.end = seconds_of(end, "end");
            if (s.end < s.start) throw py::value_error("end lies before start");
          }
          if (!writer.is_none())
            throw py::value_error("writer goes with runs: a period selects every writer");
        } else {
          if (!end.is_none()) throw py::value_error("end needs start");
          if (!runs.is_none()) {
            if (py::isinstance<py::int_>(runs)) {
              s.runs.push_back(run_range(runs));
            } else {
              for (const py::handle& r : runs) s.runs.push_back(run_range(r));
              if (s.runs.empty()) return py::list();
            }
          }
          if (!writer.is_none()) {
            const long long w = writer.cast<long long>();
            if (w < 0 || w > 0x7fffffff) throw py::value_error("writer must be 0 or more");
            s.writer = static_cast<int>(w);
          }
        }
        std::vector<std::string> found;
        {
          py::gil_scoped_release unlocked;
          found = select_files(s);
        }
        py::list paths;
        for (const std::string& p : found) paths.append(path_str(p));
        return paths;
      },
      py::arg("root"), py::arg("runs") = py::none(), py::arg("start") = py::none(),
      py::arg("end") = py::none(), py::arg("writer") = py::none(), py::arg("exp") = py::none(),
      py::arg("adm") = py::none(), py::arg("format") = "raw", kSelectDoc);
}

}  // namespace heskpy
