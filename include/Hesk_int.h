// Shared-memory records of the event buffer manager: the client control
// partition (control block and client slots) and the event control partition
// (control records and event slots), in their 2010 and 2024 forms, and the
// enumerations stored in them.
//
// These bytes are shared by every process of a DAQ host, so every layout is
// exact (pinned below) and every enumerator value is part of the format.
// Plain declarations: what guards each record is said where it is used.
#ifndef HESK_HESK_INT_H
#define HESK_HESK_INT_H

#include <cstddef>
#include <cstdint>

#include "event.h"

enum BUF_MNG_CLI_TYPE { CLI_T_READER = 1, CLI_T_WRITER = 2, CLI_T_INVAL = 3 };

enum BUF_MNG_CLI_STATUS {
  CLI_S_WAIT = 1,  // waiting for the event's blocks
  CLI_S_NTF = 2,   // notified
  CLI_S_PROC = 3,  // processing
  CLI_S_DONE = 4,
  CLI_S_INVAL = 5
};

enum BUF_MNG_CLI_CTRL_STATUS { CLI_C_CLN = 0, CLI_C_INIT = 1, CLI_C_UPD = 2, CLI_C_INVALID = 3 };

enum BUF_MNG_EVT_CTRL_STATUS { EVT_C_FREE = 0, EVT_C_USED = 1, EVT_C_INVALID = 2 };

// Synchronisation modes: events keyed by time stamp or by event id.
enum { HESK_SYNCH_TIME = 0, HESK_SYNCH_EVID = 1, HESK_SYNCH_TOTAL = 2 };

// Length of a server-block name inside a client slot or an event slot
// (NUL-padded, at most 255 characters).
constexpr int KOVA_SBLOCK_NAME_LEN = 256;

// Opens every 2024 event slot.
constexpr uint64_t KOVA_EV_SLOT_PATTERN_2024 = 0xFF77FF77FF77FF77ull;

// ---------------------------------------------------------------------------
// Client control partition

// Buffer 0: subscription counters. Guarded by slot lock 0 of the partition.
struct kova_client_ctrl_block {
  int32_t status;  // BUF_MNG_CLI_CTRL_STATUS
  int32_t clitotal;
  int32_t clireader;
  int32_t cliwriter;
  int32_t evtyper[KOVA_EV_EVMAX];  // reader subscriptions per event type
  int32_t evtypew[KOVA_EV_EVMAX];  // writer subscriptions per event type
};

// Start of every client slot (buffers 1 .. N-1).
struct kova_client_slot_head {
  int32_t pid;       // process id of the subscriber
  time_stamp atime;  // last access
  int32_t evcnt;     // events completed
  int32_t evtype;    // KOVA_EVTYPE subscribed to
  int32_t cltype;    // BUF_MNG_CLI_TYPE
};

// The request part common to readers and writers.
struct kova_client {
  union {
    time_stamp time_out;    // writers
    time_stamp time_ratio;  // readers
  };
  int32_t pri;  // stored and printed only
  int32_t tmask;
};

// A reader's request; follows the slot head. qid holds the reader's UDP port.
struct kova_client_reader {
  kova_client cl;
  int32_t qid;
  int32_t nsblocks;
  char sblocks[][KOVA_SBLOCK_NAME_LEN];
};

// A writer's request; follows the slot head.
struct kova_client_writer {
  kova_client cl;
  int32_t nsblocks;
  char sblocks[][KOVA_SBLOCK_NAME_LEN];
};

// ---------------------------------------------------------------------------
// Event control partition

// Buffer 0 is an array of these; record i describes event slot i + 1.
struct kova_event_ctrl_block {
  int32_t status;  // BUF_MNG_EVT_CTRL_STATUS
  time_stamp key;
  uint32_t eventid;
  int32_t evtype;
};

struct kova_event_ctrl_block_2024 {
  time_stamp key;
  int32_t status;
  int32_t evtype;
  int64_t eventid;
};

// One event slot is this head, nclients client blocks, then sbfilled
// server-block entries.
struct kova_event_slot_head {
  time_stamp time;  // key of the event
  uint32_t eventid;
  int32_t evtype;
  int32_t tmask;     // OR of the blocks' trigger masks
  int32_t status;    // OR of the blocks' status words
  time_stamp start;  // when the slot was set up
  time_stamp lupdate;
  int32_t pid;  // writer that set the slot up
  int32_t evsize;
  int32_t nsblocks;  // server blocks expected
  int32_t sbfilled;  // server-block entries present
  int32_t nclients;
};

struct kova_event_slot_head_2024 {
  uint64_t pattern;  // KOVA_EV_SLOT_PATTERN_2024
  time_stamp time;
  int64_t eventid;
  int32_t evtype;
  int32_t tmask;
  int32_t status;
  time_stamp start;
  time_stamp lupdate;
  int32_t pid;
  int64_t evsize;
  int32_t nsblocks;
  int32_t sbfilled;
  int32_t nclients;
  int32_t padding;
};

// One client of an event.
struct kova_client_block {
  int32_t snum;    // client slot number
  int32_t status;  // BUF_MNG_CLI_STATUS
};

// One server block of an event: where it lies. A placeholder entry has
// shmid 0 and bnum -1. This is what a reader's callback receives.
struct kova_client_sblock_data {
  char name[KOVA_SBLOCK_NAME_LEN];
  int32_t shmid;
  int32_t bnum;
};

// ---------------------------------------------------------------------------
// Layout checks

static_assert(sizeof(kova_client_ctrl_block) == 272, "kova_client_ctrl_block size");
static_assert(offsetof(kova_client_ctrl_block, evtyper) == 16, "evtyper offset");
static_assert(offsetof(kova_client_ctrl_block, evtypew) == 144, "evtypew offset");
static_assert(sizeof(kova_client_slot_head) == 24, "kova_client_slot_head size");
static_assert(offsetof(kova_client_slot_head, atime) == 4, "atime offset");
static_assert(offsetof(kova_client_slot_head, evcnt) == 12, "evcnt offset");
static_assert(offsetof(kova_client_slot_head, evtype) == 16, "evtype offset");
static_assert(offsetof(kova_client_slot_head, cltype) == 20, "cltype offset");
static_assert(sizeof(kova_client) == 16, "kova_client size");
static_assert(offsetof(kova_client, pri) == 8, "pri offset");
static_assert(offsetof(kova_client, tmask) == 12, "tmask offset");
static_assert(sizeof(kova_client_reader) == 24, "kova_client_reader size");
static_assert(offsetof(kova_client_reader, qid) == 16, "reader qid offset");
static_assert(offsetof(kova_client_reader, nsblocks) == 20, "reader nsblocks offset");
static_assert(offsetof(kova_client_reader, sblocks) == 24, "reader names offset");
static_assert(sizeof(kova_client_writer) == 20, "kova_client_writer size");
static_assert(offsetof(kova_client_writer, nsblocks) == 16, "writer nsblocks offset");
static_assert(offsetof(kova_client_writer, sblocks) == 20, "writer names offset");
static_assert(sizeof(kova_event_ctrl_block) == 20, "kova_event_ctrl_block size");
static_assert(offsetof(kova_event_ctrl_block, key) == 4, "key offset");
static_assert(offsetof(kova_event_ctrl_block, eventid) == 12, "eventid offset");
static_assert(offsetof(kova_event_ctrl_block, evtype) == 16, "evtype offset");
static_assert(sizeof(kova_event_ctrl_block_2024) == 24, "kova_event_ctrl_block_2024 size");
static_assert(offsetof(kova_event_ctrl_block_2024, status) == 8, "status offset");
static_assert(offsetof(kova_event_ctrl_block_2024, evtype) == 12, "evtype offset");
static_assert(offsetof(kova_event_ctrl_block_2024, eventid) == 16, "eventid offset");
static_assert(sizeof(kova_event_slot_head) == 60, "kova_event_slot_head size");
static_assert(offsetof(kova_event_slot_head, eventid) == 8, "eventid offset");
static_assert(offsetof(kova_event_slot_head, start) == 24, "start offset");
static_assert(offsetof(kova_event_slot_head, lupdate) == 32, "lupdate offset");
static_assert(offsetof(kova_event_slot_head, pid) == 40, "pid offset");
static_assert(offsetof(kova_event_slot_head, evsize) == 44, "evsize offset");
static_assert(offsetof(kova_event_slot_head, nsblocks) == 48, "nsblocks offset");
static_assert(offsetof(kova_event_slot_head, sbfilled) == 52, "sbfilled offset");
static_assert(offsetof(kova_event_slot_head, nclients) == 56, "nclients offset");
static_assert(sizeof(kova_event_slot_head_2024) == 80, "kova_event_slot_head_2024 size");
static_assert(offsetof(kova_event_slot_head_2024, time) == 8, "time offset");
static_assert(offsetof(kova_event_slot_head_2024, eventid) == 16, "eventid offset");
static_assert(offsetof(kova_event_slot_head_2024, evtype) == 24, "evtype offset");
static_assert(offsetof(kova_event_slot_head_2024, tmask) == 28, "tmask offset");
static_assert(offsetof(kova_event_slot_head_2024, status) == 32, "status offset");
static_assert(offsetof(kova_event_slot_head_2024, start) == 36, "start offset");
static_assert(offsetof(kova_event_slot_head_2024, lupdate) == 44, "lupdate offset");
static_assert(offsetof(kova_event_slot_head_2024, pid) == 52, "pid offset");
static_assert(offsetof(kova_event_slot_head_2024, evsize) == 56, "evsize offset");
static_assert(offsetof(kova_event_slot_head_2024, nsblocks) == 64, "nsblocks offset");
static_assert(offsetof(kova_event_slot_head_2024, sbfilled) == 68, "sbfilled offset");
static_assert(offsetof(kova_event_slot_head_2024, nclients) == 72, "nclients offset");
static_assert(sizeof(kova_client_block) == 8, "kova_client_block size");
static_assert(sizeof(kova_client_sblock_data) == 264, "kova_client_sblock_data size");
static_assert(offsetof(kova_client_sblock_data, shmid) == 256, "shmid offset");
static_assert(offsetof(kova_client_sblock_data, bnum) == 260, "bnum offset");

#endif  // HESK_HESK_INT_H
