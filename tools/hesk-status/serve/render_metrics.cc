// /metrics: the snapshot in the Prometheus text exposition format (0.0.4).
// Names are hesk_<what>[_<unit>]; counters end in _total; labels are few,
// with small value sets: partition and role, event type, client type and
// liveness, kind of reclaim.
#include <array>
#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "Hesk_int.h"
#include "event_util.h"
#include "render.h"

namespace live {

namespace {

using Labels = std::vector<std::pair<const char*, std::string>>;

std::string escape(const std::string& v) {
  std::string out;
  for (char c : utf8_clean(v)) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '"')
      out += "\\\"";
    else if (c == '\n')
      out += "\\n";
    else
      out += c;
  }
  return out;
}

class Exposition {
 public:
  void family(const char* name, const char* type, const char* help) {
    out_ += "# HELP ";
    out_ += name;
    out_ += ' ';
    out_ += help;
    out_ += "\n# TYPE ";
    out_ += name;
    out_ += ' ';
    out_ += type;
    out_ += '\n';
  }
  void sample(const char* name, const Labels& labels, const std::string& value) {
    out_ += name;
    if (!labels.empty()) {
      out_ += '{';
      for (size_t i = 0; i < labels.size(); ++i) {
        if (i > 0) out_ += ',';
        out_ += labels[i].first;
        out_ += "=\"";
        out_ += escape(labels[i].second);
        out_ += '"';
      }
      out_ += '}';
    }
    out_ += ' ';
    out_ += value;
    out_ += '\n';
  }
  void sample(const char* name, const Labels& labels, double v) {
    char buf[40];
    auto r = std::to_chars(buf, buf + sizeof(buf), v);  // the shortest exact form
    sample(name, labels, std::string(buf, r.ptr));
  }
  void count(const char* name, const Labels& labels, uint64_t v) {
    sample(name, labels, std::to_string(v));
  }
  std::string take() { return std::move(out_); }

 private:
  std::string out_;
};

std::string type_name(int t) {
  return t >= 0 && t < KOVA_EV_EVMAX ? event_name_itoa(t) : "UNKNOWN";
}

}  // namespace

std::string metrics_text(const Snapshot& s) {
  Exposition e;
  e.family("hesk_manager_up", "gauge",
           "Whether the control partitions of the buffer manager were read in the last snapshot.");
  e.sample("hesk_manager_up",
           {{"client_partition", s.client_partition}, {"event_partition", s.event_partition}},
           s.found ? 1.0 : 0.0);
  e.family("hesk_master_up", "gauge", "Whether the master process of the buffer manager is alive.");
  e.sample("hesk_master_up", {}, s.master_alive ? 1.0 : 0.0);
  e.family("hesk_snapshot_duration_seconds", "gauge",
           "Time the last snapshot of the manager took.");
  e.sample("hesk_snapshot_duration_seconds", {}, s.duration);
  e.family("hesk_snapshot_timestamp_seconds", "gauge",
           "When the last snapshot was taken, in seconds since the epoch.");
  e.sample("hesk_snapshot_timestamp_seconds", {}, s.time);

  if (s.found) {
    struct Gauge {
      const char* name;
      const char* help;
      double (*value)(const PartitionInfo&);
    };
    static const Gauge gauges[] = {
        {"hesk_partition_buffers", "Buffers of the partition.",
         [](const PartitionInfo& p) { return static_cast<double>(p.buffers); }},
        {"hesk_partition_free_buffers", "Buffers in the free queue of the partition.",
         [](const PartitionInfo& p) { return static_cast<double>(p.free); }},
        {"hesk_partition_buffer_size_bytes", "Length of every buffer of the partition.",
         [](const PartitionInfo& p) { return static_cast<double>(p.buffer_size); }},
        {"hesk_partition_fill_ratio", "Share of the partition's buffers handed out (0 to 1).",
         [](const PartitionInfo& p) {
           return p.buffers > 0 ? 1.0 - static_cast<double>(p.free) / p.buffers : 0.0;
         }},
        {"hesk_partition_attached_processes", "Processes that map the partition.",
         [](const PartitionInfo& p) { return static_cast<double>(p.attached); }},
    };
    for (const Gauge& g : gauges) {
      e.family(g.name, "gauge", g.help);
      for (const PartitionInfo& p : s.partitions)
        e.sample(g.name, {{"partition", p.name}, {"role", p.role}}, g.value(p));
    }

    e.family("hesk_event_slots_capacity", "gauge", "Event slots of the event control partition.");
    e.sample("hesk_event_slots_capacity", {}, static_cast<double>(s.event_slots));
    std::map<int, int> in_use;
    int stuck = 0;
    for (const EventSlotInfo& ev : s.events) {
      in_use[ev.event_type] += 1;
      stuck += ev.stuck ? 1 : 0;
    }
    e.family("hesk_event_slots_in_use", "gauge", "Event slots holding an event, by event type.");
    for (const auto& t : in_use)
      e.sample("hesk_event_slots_in_use", {{"event_type", type_name(t.first)}},
               static_cast<double>(t.second));
    e.family("hesk_event_slots_stuck", "gauge", "Event slots unchanged for 2 seconds or more.");
    e.sample("hesk_event_slots_stuck", {}, static_cast<double>(stuck));

    e.family("hesk_client_slots_capacity", "gauge",
             "Client slots of the client control partition.");
    e.sample("hesk_client_slots_capacity", {}, static_cast<double>(s.client_slots));
    std::map<std::tuple<int, int, bool>, int> clients;
    for (const ClientInfo& c : s.clients) clients[{c.type, c.event_type, c.alive}] += 1;
    e.family("hesk_client_slots_in_use", "gauge",
             "Subscriptions, by client type, event type and whether their process lives.");
    for (const auto& c : clients) {
      int type = std::get<0>(c.first);
      e.sample("hesk_client_slots_in_use",
               {{"client_type", type == CLI_T_READER   ? "reader"
                                : type == CLI_T_WRITER ? "writer"
                                                       : "unknown"},
                {"event_type", type_name(std::get<1>(c.first))},
                {"alive", std::get<2>(c.first) ? "true" : "false"}},
               static_cast<double>(c.second));
    }
  }

  if (s.found && s.have_counts) {
    const Counts& c = s.counts;
    struct Family {
      const char* name;
      const char* help;
      const std::array<uint64_t, KOVA_EV_EVMAX>* counts;
    };
    const Family families[] = {
        {"hesk_events_set_up_total", "Event slots set up, by event type.", &c.set_up},
        {"hesk_events_completed_total", "Events whose clients were all done, by event type.",
         &c.completed},
        {"hesk_events_freed_total",
         "Event slots freed (completed, withdrawn or reclaimed), by event type.", &c.freed},
    };
    for (const Family& f : families) {
      e.family(f.name, "counter", f.help);
      for (int t = 0; t < KOVA_EV_EVMAX; ++t)
        if ((*f.counts)[t] != 0 || t == KOVA_EV_NORMAL)
          e.count(f.name, {{"event_type", type_name(t)}}, (*f.counts)[t]);
    }
    e.family("hesk_datagrams_dropped_total", "counter",
             "Notification datagrams the readers received and could not act on.");
    e.count("hesk_datagrams_dropped_total", {}, c.dropped);
    e.family("hesk_monitor_reclaims_total", "counter",
             "What the master's monitor reclaimed from processes that died or stalled, by kind.");
    e.count("hesk_monitor_reclaims_total", {{"kind", "event_slot"}},
            c.reclaims[HESK_RECLAIM_EVENT_SLOT]);
    e.count("hesk_monitor_reclaims_total", {{"kind", "client_slot"}},
            c.reclaims[HESK_RECLAIM_CLIENT_SLOT]);
    e.count("hesk_monitor_reclaims_total", {{"kind", "buffer"}}, c.reclaims[HESK_RECLAIM_BUFFER]);
  }
  return e.take();
}

std::string utf8_clean(const std::string& in) {
  std::string out;
  out.reserve(in.size());
  const auto* p = reinterpret_cast<const unsigned char*>(in.data());
  const size_t n = in.size();
  for (size_t i = 0; i < n;) {
    unsigned char c = p[i];
    size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    bool ok = len > 0 && i + len <= n;
    for (size_t k = 1; ok && k < len; ++k) ok = (p[i + k] & 0xC0) == 0x80;
    if (ok && len > 1) {
      // No overlong forms, surrogates or values beyond U+10FFFF.
      uint32_t cp = c & (0x7F >> len);
      for (size_t k = 1; k < len; ++k) cp = (cp << 6) | (p[i + k] & 0x3F);
      static const uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
      ok = cp >= kMin[len] && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
    }
    if (ok && c != 0) {
      out.append(in, i, len);
      i += len;
    } else {
      out += "\xEF\xBF\xBD";
      i += 1;
    }
  }
  return out;
}

}  // namespace live
