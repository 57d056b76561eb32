// The online reader: subscription, the copy of the asked channels on the
// reader thread, and the bounded queue between that thread and Python.
#include "online_reader.h"

#include <strings.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

#include "errors.h"
#include "event_util.h"
#include "hesk_util.h"
#include "library_state.h"
#include "samples.h"

namespace heskpy {

namespace {

bool slow_event(int type) {
  return type == KOVA_EV_HB || (type >= KOVA_EV_BOR && type <= KOVA_EV_UPD);
}

// "NAME:k" with k a channel number: NAME and k; otherwise -1.
int split_channel(const std::string& name, std::string* block) {
  const size_t colon = name.rfind(':');
  if (colon == std::string::npos || colon + 1 >= name.size() || name.size() - colon > 9) return -1;
  for (size_t i = colon + 1; i < name.size(); ++i)
    if (name[i] < '0' || name[i] > '9') return -1;
  *block = name.substr(0, colon);
  return std::atoi(name.c_str() + colon + 1);
}

}  // namespace

int event_type_of(const std::string& text) {
  if (!text.empty() && text.size() < 3 &&
      text.find_first_not_of("0123456789") == std::string::npos) {
    const int t = std::atoi(text.c_str());
    return t < KOVA_EV_EVMAX ? t : -1;
  }
  for (int t = 0; t < KOVA_EV_EVMAX; ++t)
    if (strcasecmp(text.c_str(), event_name_itoa(t)) == 0) return t;
  return -1;
}

OnlineReader::OnlineReader(const ReaderOptions& options, bool layout_2024) : opt_(options) {
  for (const std::string& n : opt_.channels) {
    Wanted w{n, n, -1};
    std::string block;
    const int k = split_channel(n, &block);
    if (k >= 0) {
      w.block = block;
      w.subchan = k;
    }
    wanted_.push_back(w);
  }
  set_evid_64bit_mode(layout_2024);
  const char* layout = layout_2024 ? "2024" : "2010";
  {
    StdoutCapture said;
    const bool failed = init();
    const std::string text = said.text();
    if (failed)
      fail(-1,
           std::string("cannot attach to the buffer manager of this host (control partitions ") +
               clname + ", " + evname + ", " + layout + " layout)" +
               (text.empty() ? "" : ": " + text.substr(0, text.find_last_not_of("\n ") + 1)));
  }
  std::list<std::string> names(opt_.blocks.begin(), opt_.blocks.end());
  for (int t : opt_.types) {
    kova_client request;
    memset(&request, 0, sizeof(request));
    const int slot = subscribe(static_cast<KOVA_EVTYPE>(t), CLI_T_READER, &request,
                               opt_.wait_for_blocks ? &names : nullptr);
    if (slot < 1) {
      all_clean_up();
      fail(slot, std::string("the buffer manager refused the subscription to ") +
                     event_name_itoa(t) + " events (" +
                     (slot == -1 ? "no free client slot" : "partition error") + ")");
    }
  }
}

OnlineReader::~OnlineReader() {
  close();
}

void OnlineReader::close() {
  std::lock_guard<std::mutex> one(close_mx_);
  {
    std::lock_guard<std::mutex> hold(mx_);
    if (closed_) return;
    closed_ = true;
  }
  ready_.notify_all();
  // Stops the reader thread, gives the client slots back and detaches.
  all_clean_up();
}

bool OnlineReader::closed() const {
  std::lock_guard<std::mutex> hold(mx_);
  return closed_;
}

uint64_t OnlineReader::skipped() const {
  std::lock_guard<std::mutex> hold(mx_);
  return skipped_;
}

uint64_t OnlineReader::received() const {
  std::lock_guard<std::mutex> hold(mx_);
  return received_;
}

void OnlineReader::copy_channels(void* head, kova_client_sblock_data* blocks, OnlineEvent* ev) {
  auto* h24 = static_cast<kova_event_slot_head_2024*>(head);
  auto* h10 = static_cast<kova_event_slot_head*>(head);
  const bool wide = evid64bitmode;
  char chan[KOVA_SBLOCK_NAME_LEN > 256 ? KOVA_SBLOCK_NAME_LEN : 256];
  auto fast = [&](const std::string& n) -> kova_serv_block_subhead_2010* {
    if (n.empty() || n.size() >= sizeof(chan)) return nullptr;
    memcpy(chan, n.c_str(), n.size() + 1);
    return wide ? get_fast_channel_data_2024(h24, blocks, nullptr, chan, this, nullptr, nullptr)
                : get_fast_channel_data(h10, blocks, nullptr, chan, this, nullptr);
  };
  std::vector<uint32_t> aligned;
  for (const Wanted& w : wanted_) {
    int subchan = -1;
    kova_serv_block_subhead_2010* sub = fast(w.asked);
    if (sub == nullptr && w.subchan >= 0) {
      sub = fast(w.block);
      subchan = w.subchan;
    }
    if (sub != nullptr) {
      void* p = sub;
      if (reinterpret_cast<uintptr_t>(sub) % 4 != 0) {
        int32_t ldata;
        memcpy(&ldata, reinterpret_cast<char*>(sub) + offsetof(kova_serv_block_subhead_2010, ldata),
               sizeof(ldata));
        if (ldata < static_cast<int32_t>(sizeof(kova_serv_block_subhead_2010))) continue;
        aligned.assign((static_cast<size_t>(ldata) + 3) / 4, 0);
        memcpy(aligned.data(), sub, static_cast<size_t>(ldata));
        p = aligned.data();
      }
      std::vector<SampleRun> runs;
      if (locate_samples(p, false, subchan, &runs) == Located::kOk) {
        std::vector<float> v(sample_count(runs));
        copy_samples(runs, v.data());
        ev->channels.emplace_back(w.asked, std::move(v));
      }
      continue;
    }
    if (!slow_event(ev->type) || w.asked.size() >= sizeof(chan)) continue;
    memcpy(chan, w.asked.c_str(), w.asked.size() + 1);
    float v = 0;
    const bool refused = wide ? get_slow_channel_data(h24, blocks, chan, this, nullptr, nullptr, &v)
                              : get_slow_channel_data_2010(h10, blocks, chan, this, nullptr, &v);
    if (!refused) ev->channels.emplace_back(w.asked, std::vector<float>{v});
  }
}

void OnlineReader::event_handler(void* head, kova_client_sblock_data* blocks) {
  {
    std::lock_guard<std::mutex> hold(mx_);
    if (closed_) return;
  }
  OnlineEvent ev;
  if (evid64bitmode) {
    auto* h = static_cast<kova_event_slot_head_2024*>(head);
    ev.number = static_cast<uint64_t>(h->eventid);
    ev.type = h->evtype;
    ev.time = static_cast<double>(h->time.timeup) + static_cast<double>(h->time.timelow) * 1e-6;
  } else {
    auto* h = static_cast<kova_event_slot_head*>(head);
    ev.number = h->eventid;
    ev.type = h->evtype;
    ev.time = static_cast<double>(h->time.timeup) + static_cast<double>(h->time.timelow) * 1e-6;
  }
  copy_channels(head, blocks, &ev);
  {
    std::lock_guard<std::mutex> hold(mx_);
    if (closed_) return;
    ++received_;
    if (queue_.size() >= opt_.max_queue) {
      queue_.pop_front();
      ++skipped_;
    }
    queue_.push_back(std::move(ev));
  }
  ready_.notify_one();
}

OnlineReader::Wait OnlineReader::next(OnlineEvent* out, long timeout_ms) {
  std::unique_lock<std::mutex> hold(mx_);
  auto have = [&] { return !queue_.empty() || closed_; };
  if (timeout_ms < 0)
    ready_.wait(hold, have);
  else if (!ready_.wait_for(hold, std::chrono::milliseconds(timeout_ms), have))
    return Wait::kTimeout;
  if (queue_.empty()) return Wait::kClosed;
  *out = std::move(queue_.front());
  queue_.pop_front();
  return Wait::kEvent;
}

std::unique_ptr<OnlineReader> open_reader(const ReaderOptions& options, int layout) {
  if (layout == 2010 || layout == 2024)
    return std::unique_ptr<OnlineReader>(new OnlineReader(options, layout == 2024));
  try {
    return std::unique_ptr<OnlineReader>(new OnlineReader(options, false));
  } catch (const Error& first) {
    try {
      return std::unique_ptr<OnlineReader>(new OnlineReader(options, true));
    } catch (const Error&) {
      throw first;
    }
  }
}

}  // namespace heskpy
