// Taking the slow sub-blocks of an event into the local copies. What happens
// to a sub-block depends on the event type and the sub-block's type:
//
//   event        sub-blocks  34 dict  35 env     33 upd  36 bor  37 eor  other
//   heart beat   all nchan   keep     merge env  keep    report  report  report
//   begin run    all nchan   keep     report     keep    keep    report  report
//   end of run   all nchan   report   report     merge   report  keep    report
//   environment  first only  merge env for every type
//   update       first only  keep     report     merge   report  report  report
//
// keep: make the copy unless one exists; merge: merge into the update copy
// (or make it); merge env: merge into the environment copy, or make it when a
// dictionary copy exists; report: "UNKNOWN BLOCK: in <event>: <type> \n".
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <vector>

#include "event_util.h"
#include "local_copies.h"
#include "block_walks.h"

namespace hesk_client {

namespace {

enum class Action { kKeep, kMerge, kMergeEnv, kReport };

Action action_for(int evtype, int type) {
  switch (evtype) {
    case KOVA_EV_HB:
      if (type == KOVA_ENV_DICT_BLOCK_2010 || type == KOVA_UPD_BLOCK_2010) return Action::kKeep;
      return type == KOVA_ENV_BLOCK_2010 ? Action::kMergeEnv : Action::kReport;
    case KOVA_EV_BOR:
      if (type == KOVA_ENV_DICT_BLOCK_2010 || type == KOVA_UPD_BLOCK_2010 ||
          type == KOVA_BOR_BLOCK_2010)
        return Action::kKeep;
      return Action::kReport;
    case KOVA_EV_EOR:
      if (type == KOVA_UPD_BLOCK_2010) return Action::kMerge;
      return type == KOVA_EOR_BLOCK_2010 ? Action::kKeep : Action::kReport;
    case KOVA_EV_ENV:
      return Action::kMergeEnv;
    default:  // KOVA_EV_UPD
      if (type == KOVA_ENV_DICT_BLOCK_2010) return Action::kKeep;
      return type == KOVA_UPD_BLOCK_2010 ? Action::kMerge : Action::kReport;
  }
}

CopyKind kind_of(int type) {
  switch (type) {
    case KOVA_ENV_DICT_BLOCK_2010:
      return kDictCopy;
    case KOVA_ENV_BLOCK_2010:
      return kEnvCopy;
    case KOVA_BOR_BLOCK_2010:
      return kBorCopy;
    case KOVA_EOR_BLOCK_2010:
      return kEorCopy;
    default:
      return kUpdCopy;
  }
}

const char* copy_name(CopyKind k) {
  static const char* const names[kCopyKinds] = {"DICT", "ENV", "UPD", "BOR", "EOR"};
  return names[k];
}

const char* event_name(int evtype) {
  switch (evtype) {
    case KOVA_EV_HB:
      return "HB";
    case KOVA_EV_BOR:
      return "BOR";
    case KOVA_EV_EOR:
      return "EOR";
    default:
      return "UPD";
  }
}

// The failure messages are followed by a flush of all output.
void say(const char* text) {
  printf("%s", text);
  fflush(nullptr);
}

bool keep(CopiesLock& lock, CopyKind k, kova_serv_block_subhead_2010* sub, int64_t ldata) {
  if (!lock.keep_first(k, sub, ldata)) return false;
  printf("Failed to allocate memory for the local copy of %s\n", copy_name(k));
  fflush(nullptr);
  return true;
}

// Takes one sub-block; true on a failure. Each sub-block is taken under mx_lcp.
bool take(int evtype, kova_serv_block_subhead_2010* sub, int64_t ldata) {
  const int type = sub_dtype(sub) & KOVA_DTYPE_MASK;
  const Action a = action_for(evtype, type);
  if (a == Action::kReport) {
    printf("UNKNOWN BLOCK: in %s: %d \n", event_name(evtype), type);
    if (evtype == KOVA_EV_UPD) fflush(nullptr);
    return false;
  }
  // The merges read the sub-block's entries as records: one that ldata left
  // off 4-byte alignment is read from an aligned copy.
  std::vector<uint32_t> aligned;
  if (reinterpret_cast<uintptr_t>(sub) % alignof(kova_serv_block_subhead_2010) != 0) {
    aligned.assign(static_cast<size_t>(ldata + 3) / 4, 0);
    memcpy(aligned.data(), sub, static_cast<size_t>(ldata));
    sub = reinterpret_cast<kova_serv_block_subhead_2010*>(aligned.data());
  }
  CopiesLock lock;
  switch (a) {
    case Action::kKeep:
      return keep(lock, kind_of(type), sub, ldata);
    case Action::kMerge:
      if (lock.get(kUpdCopy) == nullptr) return keep(lock, kUpdCopy, sub, ldata);
      if (!copy_upd_entries_2010(lock.get(kUpdCopy), sub)) return false;
      say(evtype == KOVA_EV_EOR ? "Failed to update UPD in EOR\n"
                                : "Failed to update UPD in UPD\n");
      return true;
    default:  // Action::kMergeEnv
      if (lock.get(kEnvCopy) != nullptr) {
        if (!copy_env_entries_2010(lock.get(kEnvCopy), sub)) return false;
        say("Failed to update the local copy of ENV\n");
        return true;
      }
      // Environment values mean nothing without their dictionary; and only
      // an environment sub-block may become the environment copy (in an
      // environment event the first sub-block of any type comes here).
      if (lock.get(kDictCopy) == nullptr || type != KOVA_ENV_BLOCK_2010) return false;
      return keep(lock, kEnvCopy, sub, ldata);
  }
}

const char* server_name(const ServerBlock& b) {
  return b.is2024 ? b.h2024()->server : b.h2010()->server;
}

void report_corrupt(const char* fn, const ServerBlock& b, int k, int want) {
  printf("%s() corrupted server block %.256s: sub-block %d of %d does not fit in ltotal %" PRId64
         "\n",
         fn, server_name(b), k, want, b.ltotal);
  fflush(nullptr);
}

}  // namespace

bool take_slow_blocks(int evtype, const ServerBlock& b, const char* fn) {
  const int want = (evtype == KOVA_EV_ENV || evtype == KOVA_EV_UPD) ? 1 : b.nchan;
  if (!b.within_buffer()) {
    report_corrupt(fn, b, 0, want);
    return true;
  }
  bool failed = false;
  int64_t off = b.head, left = b.room();
  for (int k = 0; k < want; ++k) {
    if (left < kSubHead) {
      report_corrupt(fn, b, k, want);
      return true;
    }
    kova_serv_block_subhead_2010* sub = b.sub_at(off);
    const int64_t ldata = sub_ldata(sub);
    if (ldata < kSubHead || ldata > left) {
      report_corrupt(fn, b, k, want);
      return true;
    }
    if (take(evtype, sub, ldata)) failed = true;
    off += ldata;
    left -= ldata;
  }
  return failed;
}

namespace {

bool takes_slow_blocks(int evtype) {
  return evtype == KOVA_EV_HB || is_run_or_slow_event(evtype);
}

struct Outcome {
  bool failed = false;
  bool wrong_type = false;  // refused for the event type: outputs stay
  bool any = false;         // a server block was processed
  ServerBlock last;
};

Outcome take_event(const SlotInfo& s, kova_client_sblock_data* data, Hesk* obj, bool detect,
                   const char* fn) {
  Outcome out;
  for (int i = 0; i < s.sbfilled; ++i) {
    if (!counts(data[i])) continue;
    ServerBlock b;
    if (!resolve(obj, data[i], detect, &b)) continue;
    out.any = true;
    out.last = b;
    if (!takes_slow_blocks(s.evtype)) {
      out.failed = out.wrong_type = true;
      return out;
    }
    if (b.nchan < 1) continue;
    if (take_slow_blocks(s.evtype, b, fn)) out.failed = true;
  }
  return out;
}

}  // namespace

}  // namespace hesk_client

using namespace hesk_client;

bool update_local_copies(kova_event_slot_head_2024* hd, kova_client_sblock_data* data, Hesk* obj,
                         kova_serv_block_head_2010** head, kova_serv_block_head_2024** head2024) {
  if (hd == nullptr || obj == nullptr || (data == nullptr && hd->sbfilled > 0)) return true;
  Outcome o = take_event(slot_info(hd), data, obj, true, "update_local_copies");
  if (o.wrong_type) return true;
  if (head != nullptr) *head = o.any && !o.last.is2024 ? o.last.h2010() : nullptr;
  if (head2024 != nullptr) *head2024 = o.any && o.last.is2024 ? o.last.h2024() : nullptr;
  return o.failed;
}

bool update_local_copies_2010(kova_event_slot_head* hd, kova_client_sblock_data* data, Hesk* obj,
                              kova_serv_block_head_2010** head) {
  if (hd == nullptr || obj == nullptr || (data == nullptr && hd->sbfilled > 0)) return true;
  Outcome o = take_event(slot_info(hd), data, obj, false, "update_local_copies_2010");
  if (o.wrong_type) return true;
  if (head != nullptr) *head = o.any ? o.last.h2010() : nullptr;
  return o.failed;
}
