// /api/status: the snapshot as JSON.
#include <ctime>

#include <nlohmann/json.hpp>

#include "Hesk_int.h"
#include "event_util.h"
#include "render.h"

namespace live {

namespace {

using nlohmann::json;

const char* client_type(int t) {
  return t == CLI_T_READER ? "reader" : t == CLI_T_WRITER ? "writer" : "unknown";
}

const char* client_state(int s) {
  switch (s) {
    case CLI_S_WAIT:
      return "waiting";
    case CLI_S_NTF:
      return "notified";
    case CLI_S_PROC:
      return "processing";
    case CLI_S_DONE:
      return "done";
    default:
      return "invalid";
  }
}

std::string type_name(int t) {
  return t >= 0 && t < KOVA_EV_EVMAX ? event_name_itoa(t) : "UNKNOWN";
}

std::string iso_time(double t) {
  time_t secs = static_cast<time_t>(t);
  tm utc;
  gmtime_r(&secs, &utc);
  char buf[40];
  size_t n = strftime(buf, sizeof(buf), "%Y-%m-%dT%H:%M:%S", &utc);
  snprintf(buf + n, sizeof(buf) - n, ".%03dZ", static_cast<int>((t - secs) * 1000) % 1000);
  return buf;
}

double round2(double v) {
  return static_cast<double>(static_cast<long long>(v * 100 + (v >= 0 ? 0.5 : -0.5))) / 100;
}

std::string mode_text(unsigned mode) {
  char buf[8];
  snprintf(buf, sizeof(buf), "%04o", mode);
  return buf;
}

json partition(const PartitionInfo& p) {
  return json{{"name", p.name},
              {"role", p.role},
              {"shmid", p.shmid},
              {"buffers", p.buffers},
              {"free", p.free},
              {"buffer_size", p.buffer_size},
              {"fill", p.buffers > 0 ? round2(1.0 - static_cast<double>(p.free) / p.buffers) : 0},
              {"mode", mode_text(p.mode)},
              {"owner", p.owner_name},
              {"uid", p.owner},
              {"users", p.users},
              {"attached", p.attached},
              {"creator_pid", p.creator}};
}

std::string client_status(const ClientInfo& c) {
  if (!c.alive) return "dead";
  if (c.processing > 0) return "processing";
  if (c.notified > 0) return "notified";
  if (c.waiting > 0) return "waiting";
  return "idle";
}

json client(const ClientInfo& c, double now) {
  json j{{"slot", c.slot},
         {"type", client_type(c.type)},
         {"status", client_status(c)},
         {"pid", c.pid},
         {"alive", c.alive},
         {"command", c.command},
         {"event_type", type_name(c.event_type)},
         {"event_type_id", c.event_type},
         {"events", c.events},
         {"blocks_announced", c.blocks_announced},
         {"blocks", c.blocks},
         {"trigger_mask", c.tmask},
         {"priority", c.priority},
         {"in_events", c.in_events},
         {"stuck", c.in_stuck_event},
         {"last_access_age_s", c.last_access > 0 ? json(round2(now - c.last_access)) : json()}};
  if (c.type == CLI_T_READER) j["port"] = c.port;
  return j;
}

json event_slot(const EventSlotInfo& e, double now) {
  json clients = json::array();
  for (const EventClient& c : e.clients)
    clients.push_back(
        {{"slot", c.slot}, {"type", client_type(c.type)}, {"state", client_state(c.state)}});
  json blocks = json::array();
  for (const EventBlock& b : e.blocks) {
    const bool placeholder = b.shmid == 0 || b.bnum < 0;
    blocks.push_back(
        {{"name", b.name}, {"shmid", b.shmid}, {"bnum", b.bnum}, {"placeholder", placeholder}});
  }
  char key[32];
  snprintf(key, sizeof(key), "%u:%06u", e.key_s, e.key_us);
  return json{{"slot", e.slot},
              {"in_use", true},
              {"type", type_name(e.event_type)},
              {"type_id", e.event_type},
              {"key", key},
              {"key_s", e.key_s},
              {"key_us", e.key_us},
              {"event_id", e.event_id},
              {"blocks_filled", e.blocks_filled},
              {"blocks_expected", e.blocks_expected},
              {"size", e.size},
              {"set_up_by", e.set_up_by},
              {"age_s", round2(now - e.start)},
              {"idle_s", round2(now - e.last_update)},
              {"setting_up", e.setting_up},
              {"stuck", e.stuck},
              {"consistent", e.locked_copy},
              {"clients", clients},
              {"blocks", blocks}};
}

json rates_json(const Rates& r) {
  return json{{"window_s", round2(r.window)},
              {"events_set_up", round2(r.set_up)},
              {"events_completed", round2(r.completed)},
              {"events_freed", round2(r.freed)},
              {"datagrams_dropped", round2(r.dropped)},
              {"monitor_reclaims", round2(r.reclaims)}};
}

json counts_json(const Snapshot& s) {
  if (!s.have_counts) return json{{"available", false}};
  const Counts& c = s.counts;
  json by_type = json::object();
  for (int t = 0; t < KOVA_EV_EVMAX; ++t) {
    if (c.set_up[t] == 0 && c.completed[t] == 0 && c.freed[t] == 0) continue;
    by_type[type_name(t)] = {
        {"set_up", c.set_up[t]}, {"completed", c.completed[t]}, {"freed", c.freed[t]}};
  }
  return json{{"available", true},
              {"since", c.created},
              {"events_set_up", c.total_set_up()},
              {"events_completed", c.total_completed()},
              {"events_freed", c.total_freed()},
              {"datagrams_dropped", c.dropped},
              {"monitor_reclaims", c.total_reclaims()},
              {"monitor_reclaims_by_kind",
               {{"event_slot", c.reclaims[HESK_RECLAIM_EVENT_SLOT]},
                {"client_slot", c.reclaims[HESK_RECLAIM_CLIENT_SLOT]},
                {"buffer", c.reclaims[HESK_RECLAIM_BUFFER]}}},
              {"by_event_type", by_type}};
}

json history_json(const History& h, double interval) {
  json t = json::array(), su = json::array(), co = json::array(), fr = json::array(),
       dr = json::array(), re = json::array();
  for (const auto& point : h.series()) {
    const Rates& r = point.second;
    t.push_back(round2(point.first));
    const bool gap = r.window <= 0;
    su.push_back(gap ? json() : json(round2(r.set_up)));
    co.push_back(gap ? json() : json(round2(r.completed)));
    fr.push_back(gap ? json() : json(round2(r.freed)));
    dr.push_back(gap ? json() : json(round2(r.dropped)));
    re.push_back(gap ? json() : json(round2(r.reclaims)));
  }
  return json{{"interval_s", interval}, {"time", t},          {"events_set_up", su},
              {"events_completed", co}, {"events_freed", fr}, {"datagrams_dropped", dr},
              {"monitor_reclaims", re}};
}

}  // namespace

std::string status_json(const Snapshot& s, const History& h, double interval, bool with_history) {
  json j;
  j["host"] = s.host;
  j["time"] = static_cast<double>(static_cast<long long>(s.time * 1000)) / 1000;
  j["time_iso"] = iso_time(s.time);
  j["state"] = s.state;
  j["message"] = s.message;
  j["manager"] = {{"client_partition", s.client_partition},
                  {"event_partition", s.event_partition},
                  {"stats_partition", s.stats_partition},
                  {"found", s.found},
                  {"layout", s.layout != 0 ? json(s.layout) : json()}};
  if (!s.managers.empty()) j["managers"] = s.managers;
  j["master"] = {{"pid", s.master_pid > 0 ? json(s.master_pid) : json()},
                 {"alive", s.master_alive}};
  j["subscriptions"] = {{"total", s.clients_total}, {"readers", s.readers}, {"writers", s.writers}};

  json parts = json::array();
  for (const PartitionInfo& p : s.partitions) parts.push_back(partition(p));
  j["partitions"] = parts;

  json clients = json::array();
  int alive = 0;
  for (const ClientInfo& c : s.clients) {
    clients.push_back(client(c, s.time));
    alive += c.alive ? 1 : 0;
  }
  j["client_slots"] = clients;
  j["client_slots_total"] = s.client_slots;
  j["client_slots_in_use"] = s.clients.size();
  j["client_slots_alive"] = alive;
  j["client_slots_truncated"] = s.clients_truncated;

  json events = json::array();
  int stuck = 0;
  for (const EventSlotInfo& e : s.events) {
    events.push_back(event_slot(e, s.time));
    stuck += e.stuck ? 1 : 0;
  }
  j["event_slots"] = events;
  j["event_slots_total"] = s.event_slots;
  j["event_slots_in_use"] = s.events_in_use;
  j["event_slots_stuck"] = stuck;
  j["event_slots_truncated"] = s.events_truncated;

  j["counts"] = counts_json(s);
  Rates r;
  j["rates"] = h.rates(kRateWindow, &r) ? rates_json(r) : json();
  j["snapshot"] = {{"interval_s", interval}, {"duration_s", s.duration}};
  if (with_history) j["history"] = history_json(h, interval);
  return j.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace live
