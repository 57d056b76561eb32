// Synthetic run segments: regular events for sample files, tests and
// benchmarks.
#include <cstdio>

#include "writer_internal.h"

namespace daqfile {

std::string synthetic_server_name(int server) {
  char b[32];
  snprintf(b, sizeof(b), "SRV.%02d", server);
  return b;
}

std::string synthetic_channel_name(int server, int channel) {
  char b[48];
  snprintf(b, sizeof(b), "SRV.%02d/CH.%03d", server, channel);
  return b;
}

bool synthetic_channel_present(int event, int channel) {
  return !(channel % 3 == 2 && event % 2 == 1);
}

bool write_synthetic(const SyntheticFile& shape, Writer* w) {
  if (w == nullptr) return false;
  if (shape.event_types.empty()) return false;
  EventBuilder b(w->options().generation);
  for (int e = 0; e < shape.events; ++e) {
    const int type = shape.event_types[static_cast<size_t>(e) % shape.event_types.size()];
    // 10 Hz: one event every 100 ms.
    const uint64_t usec = static_cast<uint64_t>(e) * 100000u;
    const time_stamp t = {static_cast<uint32_t>(shape.first_second + usec / 1000000u),
                          static_cast<uint32_t>(usec % 1000000u)};
    b.begin(type, shape.first_number + static_cast<uint64_t>(e), t);
    for (int s = 0; s < shape.servers; ++s) {
      b.begin_server(synthetic_server_name(s), t);
      for (int c = 0; c < shape.channels; ++c) {
        if (!synthetic_channel_present(e, c)) continue;
        b.add_channel(synthetic_channel_name(s, c), shape.samples,
                      static_cast<float>(e) + 0.25f * static_cast<float>(c));
      }
      b.end_server();
    }
    const auto& ev = b.finish();
    if (!w->add_event(ev.data(), ev.size())) return false;
  }
  int index = 0;
  for (int s = 0; s < shape.servers; ++s)
    for (int c = 0; c < shape.channels; ++c)
      w->add_env_entry(1000u + 10u * static_cast<uint32_t>(s * shape.channels + c), index++);
  return true;
}

}  // namespace daqfile
