// Successive readings of a manager's counts and the rates they make: the
// counts only grow, so a rate is the growth between two readings over the
// time between them. A count that went down (the stats partition was made
// anew) restarts from 0 in between. Readings without counts (the manager
// was not there) break the series.
//
// Used by the sampler thread only; what it renders is shared.
#ifndef HESK_STATUS_SERVE_HISTORY_H
#define HESK_STATUS_SERVE_HISTORY_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "snapshot.h"

namespace live {

// Per-second rates of the manager's counts.
struct Rates {
  double window = 0;  // seconds they were measured over
  double set_up = 0, completed = 0, freed = 0, dropped = 0, reclaims = 0;
};

class History {
 public:
  explicit History(size_t capacity) : capacity_(capacity) {}
  void add(const Snapshot& s);
  // Rates over (about) the last `window` seconds; false without two
  // readings with counts in that time.
  bool rates(double window, Rates* out) const;
  // The rates between successive readings, oldest first; a reading without
  // counts (or the first of a series) gives a point with window 0.
  std::vector<std::pair<double, Rates>> series() const;

 private:
  struct Reading {
    double time;
    bool valid;
    uint64_t set_up, completed, freed, dropped, reclaims;
  };
  static Rates between(const Reading& a, const Reading& b);

  size_t capacity_;
  std::deque<Reading> readings_;
};

}  // namespace live

#endif  // HESK_STATUS_SERVE_HISTORY_H
