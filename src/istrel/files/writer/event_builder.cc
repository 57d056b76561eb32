// Host-order events for the writer: header, server blocks of sub-blocks, tail.
#include "writer_internal.h"

using namespace daqfile_detail;

namespace daqfile {

EventBuilder::EventBuilder(int generation) : gen_(generation) {}

void EventBuilder::begin(int32_t event_type, uint64_t event_number, time_stamp time) {
  buf_.clear();
  servers_ = 0;
  number_ = event_number;
  if (gen_ == 2024) {
    put<uint32_t>(buf_, KOVA_EV_PATTERN_2024);
    put<int32_t>(buf_, event_type);
    put<int64_t>(buf_, 0);  // event_length
    put<uint64_t>(buf_, event_number);
    put<time_stamp>(buf_, time);
    put<int32_t>(buf_, 1);  // tmask
    put<int32_t>(buf_, 0);  // status
    put<int32_t>(buf_, 0);  // num_svr_block
    put<int32_t>(buf_, 0);  // padding
  } else {
    put<uint32_t>(buf_, gen_ == 2009 ? KOVA_EV_PATTERN_2009 : KOVA_EV_PATTERN_2010);
    put<uint32_t>(buf_, 0);
    put<uint32_t>(buf_, static_cast<uint32_t>(event_number));
    put<int32_t>(buf_, event_type);
    put<time_stamp>(buf_, time);
    put<int32_t>(buf_, 1);
    put<int32_t>(buf_, 0);
    put<int32_t>(buf_, 0);
  }
}

void EventBuilder::begin_server(const std::string& name, time_stamp time) {
  const Sizes s = sizes_of(gen_);
  server_at_ = buf_.size();
  channels_ = 0;
  if (gen_ == 2024) {
    put<uint64_t>(buf_, KOVA_SB_PATTERN_2024);
    put<int64_t>(buf_, 0);  // ltotal
    put<int64_t>(buf_, static_cast<int64_t>(number_));
    put<time_stamp>(buf_, time);
    put_text(buf_, name, s.server_name);
    put<int32_t>(buf_, 1);  // tmask
    put<int32_t>(buf_, 0);  // status
    put<int32_t>(buf_, 0);  // nchan
    put<int32_t>(buf_, 0);  // padding
  } else {
    put<time_stamp>(buf_, time);
    put<int32_t>(buf_, 0);
    put<int32_t>(buf_, static_cast<int32_t>(number_));
    put_text(buf_, name, s.server_name);
    put<int32_t>(buf_, 1);
    put<int32_t>(buf_, 0);
    put<int32_t>(buf_, 0);
  }
}

void EventBuilder::add_sub_block(const std::string& name, int32_t dtype, const void* payload,
                                 size_t n, int32_t error) {
  const Sizes s = sizes_of(gen_);
  put_text(buf_, name, s.channel_name);
  put<int32_t>(buf_, dtype);
  put<int32_t>(buf_, error);
  put<int32_t>(buf_, static_cast<int32_t>(s.sub_head + n));
  const auto* p = static_cast<const unsigned char*>(payload);
  if (n > 0) buf_.insert(buf_.end(), p, p + n);
  ++channels_;
}

void EventBuilder::add_channel(const std::string& name, int samples, float first) {
  Bytes p;
  if (gen_ == 2009) {  // type 9: start, inc, mean, ndata, samples
    put<float>(p, 0.0f);
    put<float>(p, 1.0f);
    put<float>(p, first);
    put<int32_t>(p, samples);
  } else {  // type 41: spectrum header, one statistics record, samples
    put<float>(p, 0.0f);
    put<float>(p, 1.0f);
    put<int32_t>(p, samples);
    put<int32_t>(p, 1);  // groups
    put<float>(p, 0.0f);
    put<uint32_t>(p, 1u << KOVA_STAT_MEAN);
    for (int i = 0; i < KOVA_STAT_ENTRIES_2010; ++i) put<float>(p, i == KOVA_STAT_MEAN ? first : 0);
  }
  for (int i = 0; i < samples; ++i) put<float>(p, first + static_cast<float>(i));
  add_sub_block(name, gen_ == 2009 ? KOVA_BLOCK_SINGLE : KOVA_BLOCK_1CHAN_2010, p.data(), p.size());
}

void EventBuilder::end_server() {
  const Sizes s = sizes_of(gen_);
  const size_t ltotal = buf_.size() - server_at_;
  if (gen_ == 2024) {
    patch<int64_t>(buf_, server_at_ + 8, static_cast<int64_t>(ltotal));
  } else {
    patch<int32_t>(buf_, server_at_ + 8, static_cast<int32_t>(ltotal));
  }
  patch<int32_t>(buf_, server_at_ + s.sb_head - (gen_ == 2024 ? 8 : 4), channels_);
  ++servers_;
}

const std::vector<unsigned char>& EventBuilder::finish() {
  const Sizes s = sizes_of(gen_);
  const size_t length = buf_.size() + s.tail;
  if (gen_ == 2024) {
    put<uint64_t>(buf_, length);
    patch<int64_t>(buf_, 8, static_cast<int64_t>(length));
    patch<int32_t>(buf_, 40, servers_);
  } else {
    put<uint32_t>(buf_, static_cast<uint32_t>(length));
    patch<uint32_t>(buf_, 4, static_cast<uint32_t>(length));
    patch<int32_t>(buf_, 32, servers_);
  }
  return buf_;
}

}  // namespace daqfile
