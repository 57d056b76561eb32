// Rates from successive readings of the counts.
#include "history.h"

namespace live {

namespace {

double growth(uint64_t before, uint64_t after) {
  return static_cast<double>(after >= before ? after - before : after);
}

}  // namespace

void History::add(const Snapshot& s) {
  Reading r{s.time, s.have_counts, 0, 0, 0, 0, 0};
  if (s.have_counts) {
    r.set_up = s.counts.total_set_up();
    r.completed = s.counts.total_completed();
    r.freed = s.counts.total_freed();
    r.dropped = s.counts.dropped;
    r.reclaims = s.counts.total_reclaims();
  }
  readings_.push_back(r);
  while (readings_.size() > capacity_) readings_.pop_front();
}

Rates History::between(const Reading& a, const Reading& b) {
  Rates r;
  r.window = b.time - a.time;
  if (!a.valid || !b.valid || r.window <= 0) {
    r.window = 0;
    return r;
  }
  r.set_up = growth(a.set_up, b.set_up) / r.window;
  r.completed = growth(a.completed, b.completed) / r.window;
  r.freed = growth(a.freed, b.freed) / r.window;
  r.dropped = growth(a.dropped, b.dropped) / r.window;
  r.reclaims = growth(a.reclaims, b.reclaims) / r.window;
  return r;
}

bool History::rates(double window, Rates* out) const {
  if (readings_.size() < 2 || !readings_.back().valid) return false;
  const Reading& last = readings_.back();
  // Back from the newest reading through valid ones, as far as the window
  // reaches, summing the growth step by step (a reset restarts a count).
  Rates sum;
  double span = 0;
  for (size_t i = readings_.size() - 1; i > 0; --i) {
    const Reading& a = readings_[i - 1];
    const Reading& b = readings_[i];
    if (!a.valid || last.time - a.time > window * 1.5) break;
    Rates step = between(a, b);
    if (step.window <= 0) break;
    sum.set_up += step.set_up * step.window;
    sum.completed += step.completed * step.window;
    sum.freed += step.freed * step.window;
    sum.dropped += step.dropped * step.window;
    sum.reclaims += step.reclaims * step.window;
    span += step.window;
    if (last.time - a.time >= window) break;
  }
  if (span <= 0) return false;
  out->window = span;
  out->set_up = sum.set_up / span;
  out->completed = sum.completed / span;
  out->freed = sum.freed / span;
  out->dropped = sum.dropped / span;
  out->reclaims = sum.reclaims / span;
  return true;
}

std::vector<std::pair<double, Rates>> History::series() const {
  std::vector<std::pair<double, Rates>> out;
  for (size_t i = 1; i < readings_.size(); ++i)
    out.emplace_back(readings_[i].time, between(readings_[i - 1], readings_[i]));
  return out;
}

}  // namespace live
