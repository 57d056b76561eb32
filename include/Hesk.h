// Hesk is the event buffer manager of one DAQ host. Writer processes deposit
// server blocks (buffers of their data partitions) with ev_update; the
// manager collects the blocks of one event into an event slot of the shared
// event control partition, decides when the event is complete and notifies
// the subscribed readers by a UDP datagram to the local host. Each reader
// process runs a reader thread that hands the event to its callback and
// reports it done; the last client frees the slot and returns the buffers.
// One process per host runs as master: it creates the two control partitions
// and runs a monitor thread that reclaims what dead or stuck processes leave.
//
// A Hesk object is also the partition pool (C_shm_mpool) through which the
// process reaches every partition. Setters are called before init(); a
// master calls set_master(true) and then init(), the others just init().
//
// Threads: one object is used by the caller's thread, its reader thread and,
// in the master, its monitor thread. Pool access is serialised inside the
// object. Between processes, the control partitions are guarded by their
// slot locks, always taken in one order: event lock 0, an event slot's own
// lock, client lock 0, a client slot's own lock. Every lock carries
// undo-on-exit, and what a killed process leaves half done is repaired by
// the master's monitor. One master runs per host; a second is refused while
// the first lives. Many bool operations return true for FAILURE; each says
// which sense it uses.
#ifndef HESK_HESK_H
#define HESK_HESK_H

#include <netdb.h>
#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "C_shm_buffer.h"
#include "C_shm_mpool.h"
#include "Hesk_int.h"
#include "event.h"

// Key-extraction functions: each takes the address of a server block.
typedef char* (*GET_NAME_FUN)(char* block);
typedef time_stamp* (*GET_KEY_FUN)(char* block);
typedef long (*GET_LEN_FUN)(char* block);
typedef int (*GET_TRG_FUN)(char* block);
typedef int (*GET_STS_FUN)(char* block);
typedef long (*GET_EVID_FUN)(char* block);

// The defaults: a block whose first eight bytes equal KOVA_SB_PATTERN_2024 is
// read as a 2024 server block head, anything else as a 2010 head.
char* get_bname_known(char* block);
time_stamp* get_key_known(char* block);
long get_len_known(char* block);
int get_trg_known(char* block);
int get_sts_known(char* block);
long get_evid_known(char* block);

// Notification datagram, 2010 layout (32 bytes). time.timelow carries the
// event's 32-bit eventid, not microseconds.
struct reader_message {
  int64_t mtype;  // pid of the reader's client slot
  int32_t evslot;
  int32_t clslot;
  int32_t cln;  // index of the reader's client block in the event slot
  time_stamp time;
  int32_t padding;
};

// Notification datagram, 2024 layout (40 bytes).
struct reader_message_2024 {
  int64_t mtype;
  int32_t evslot;
  int32_t clslot;
  int32_t cln;
  time_stamp time;
  int32_t padding;
  uint64_t event;
};

static_assert(sizeof(reader_message) == 32, "reader_message size");
static_assert(offsetof(reader_message, evslot) == 8, "evslot offset");
static_assert(offsetof(reader_message, cln) == 16, "cln offset");
static_assert(offsetof(reader_message, time) == 20, "time offset");
static_assert(sizeof(reader_message_2024) == 40, "reader_message_2024 size");
static_assert(offsetof(reader_message_2024, time) == 20, "time offset");
static_assert(offsetof(reader_message_2024, event) == 32, "event offset");

// Monitor snapshot of one event slot.
struct ev_slot_stats {
  kova_event_slot_head head;
  kova_event_slot_head_2024 head2024;
  int count;  // consecutive passes without a change
};

typedef void (*HESK_EVENT_CB)(void* head, kova_client_sblock_data* blocks);

// Debug selector: -2000 prints every received datagram, -3000 times the user
// callback, -4000 prints the duration of every monitor pass.
extern "C" int KOVA_DAQ_HESK_DEBUG;
// Count of bad datagrams; messages about them stop after 20.
extern "C" int hesk_bad_format_events;
// Process-wide run flag of monitor threads and the verbose-freeing flag.
extern bool monitor_go;
extern int free_flag;

// One diagnostic line on standard output: the local date with the year, a
// blank and the message; then all output streams are flushed.
void hesk_dump_message(char* message);

// Resolves `name` with the re-entrant host lookup into the process-wide host
// entry; 0 on success, the lookup's error code otherwise.
int resolvehost(const char* name, char* buffer, int length, struct hostent** result);

// Thread entries.
void* reader_thread(void* hesk);
void* monitor_thread(void* hesk);

struct hesk_stats_block;

namespace hesk_mgr {
struct HeskAccess;
struct MonitorState;
class ManagedThread;
class StatsPartition;
class UdpSocket;
}  // namespace hesk_mgr

class Hesk : public C_shm_mpool {
 public:
  // Fields are open to the host program and its tools; change them only
  // through the setters.
  int clid;                 // segment id of the client control partition, -1 before init
  int evid;                 // segment id of the event control partition, -1 before init
  bool master;              // creates the partitions and runs the monitor
  int ncli;                 // clients per event
  int nsbl;                 // server blocks per event
  int evrate;               // expected event rate; sizes the event partition
  bool reader_go;           // run flag of the reader thread
  bool evid64bitmode;       // 2024 layouts
  pthread_t pid;            // monitor thread; 0 = none
  pthread_t mpid;           // process id of the owning process
  int qid;                  // this process's bound reader socket
  int smode;                // HESK_SYNCH_TIME or HESK_SYNCH_EVID
  int port;                 // UDP port of the reader socket
  pthread_t rid;            // reader thread; -1 = none
  unsigned long time_mask;  // microseconds within which two keys are one event
  const char* clname;       // name of the client control partition
  const char* evname;       // name of the event control partition
  C_shm_buffer* cl_buf;
  C_shm_buffer* ev_buf;
  kova_client_ctrl_block* clictrl;
  kova_event_ctrl_block* evtctrl;
  kova_event_ctrl_block_2024* evtctrl2024;
  std::list<int> sreader;  // client slots held as reader
  std::list<int> swriter;  // client slots held as writer
  HESK_EVENT_CB user_cb;
  int clslots;            // explicit client slot count, 0 = from ncli
  int evslots;            // explicit event slot count, 0 = from evrate
  unsigned long mperiod;  // monitor period in microseconds
  bool forced;            // replace incompatible partitions; master removes them at clean-up
  std::map<int, GET_NAME_FUN> get_bname_f;
  std::map<int, GET_KEY_FUN> get_key_f;
  std::map<int, GET_LEN_FUN> get_len_f;
  std::map<int, GET_TRG_FUN> get_trg_f;
  std::map<int, GET_STS_FUN> get_sts_f;
  std::map<int, GET_EVID_FUN> get_evid_f;
  int timed_blocks_debug;
  int missed_blocks_debug;

  Hesk();
  Hesk(const Hesk&) = delete;
  Hesk& operator=(const Hesk&) = delete;

  // Called by the reader thread for every event when a derived class
  // overrides it; does nothing here.
  virtual void event_handler(void* head, kova_client_sblock_data* blocks);
  // all_clean_up(), then the registries and the pool go.
  virtual ~Hesk();

  // --- start-up and settings ------------------------------------------------
  // Creates/validates (master) or attaches the control partitions. false on
  // success, true on failure; the object stays usable for another init.
  bool init();
  // false when the flag is set (or already had that value); true when the
  // monitor thread could not be started or stopped.
  bool set_master(bool m);
  // Frozen once a partition id is known: then the current value is returned.
  int set_nclients(int n);
  int set_nblocks(int n);
  int set_rate(int n);
  // Explicit slot counts; once the partition is known its buffer count.
  int set_ncl_slots(int n);
  int set_nev_slots(int n);
  void set_monitoring_period(int usec);
  void set_time_mask(unsigned long usec);
  void set_forced(bool f);
  // false for 0 or 1 (stored), true otherwise.
  bool set_smode(int m);
  int get_smode();
  // Frozen once the event partition is known: then the mode in force.
  bool set_evid_64bit_mode(bool b);
  bool get_evid_64bit_mode();
  void set_ev_handler(HESK_EVENT_CB cb);
  // Replace the key-extraction function of one event type (null ignored).
  // init() registers the defaults for all types, so call these after init.
  void set_get_name_func(int evtype, GET_NAME_FUN f);
  void set_get_key_func(int evtype, GET_KEY_FUN f);
  void set_get_length_func(int evtype, GET_LEN_FUN f);
  void set_get_trg_func(int evtype, GET_TRG_FUN f);
  void set_get_sts_func(int evtype, GET_STS_FUN f);
  void set_get_evid_func(int evtype, GET_EVID_FUN f);

  // --- subscription ---------------------------------------------------------
  // Client slot number (>= 1); -1 refused or no free slot; -2 after a
  // partition-layer error (the object is then reset with forced_clean).
  int subscribe(KOVA_EVTYPE evtype, BUF_MNG_CLI_TYPE type, kova_client* client,
                std::list<std::string>* names);
  // Frees this process's slots of that type and event type; the last slot
  // freed, -1 when none, -2 after a partition-layer error.
  int unsubscribe(KOVA_EVTYPE evtype, BUF_MNG_CLI_TYPE type);
  void cl_subscribed(int* writers, int* readers);
  // REQUIRES: the caller holds slot lock 0 of the client partition.
  // false on success, true when the slot cannot be addressed.
  bool free_cl_slot(int slot, int* port);
  // false on success.
  bool set_cl_status(int evslot, int clslot, BUF_MNG_CLI_STATUS status);
  // Non-zero while the client slot is free.
  int if_cl_slot_free(int slot);

  // --- event building -------------------------------------------------------
  // false when the block was stored; true when refused, a duplicate, the
  // event is full, or on an internal failure. A duplicate (a server name
  // already in the event) keeps the block with more channels and gives the
  // other buffer back; while a reader of the event may be reading it, the
  // block held stays and the new one is given back (true).
  bool ev_update(KOVA_EVTYPE evtype, int id, int bnum);
  bool ev_update(KOVA_EVTYPE evtype, int id, int bnum, int slot);
  // Event slot collecting the block's event (set up if needed); -1 on failure.
  int find_ev_slot(KOVA_EVTYPE evtype, char* block);
  // Sets event slot `slot` up for the event of `block`: head, clients,
  // placeholders. REQUIRES: the caller holds the slot's own lock and has
  // just taken the slot out of the free queue. false on success.
  bool init_ev_slot(KOVA_EVTYPE evtype, int slot, char* block);
  // true when the keys lie more than time_mask microseconds apart.
  bool ev_keys_eq(time_stamp* a, time_stamp* b);
  bool check_if_all_collected(int evslot, int clslot);
  void get_cur_time(time_stamp* t);
  bool time_expired(time_stamp* now, time_stamp* then, time_stamp* interval);
  void get_time_diff(time_stamp* a, time_stamp* b, time_stamp* out);

  // --- notification and the reader thread ----------------------------------
  // Readers notified in this call (0 also when the event was freed).
  int cl_notify(int evslot);
  // false when sent or the client is not waiting; true on failure.
  bool notification(int evslot, int clslot, int cln);
  // false on success.
  bool start_reader();
  bool stop_reader();
  void remove_queue(int* port);
  void reader_exec();

  // --- release, monitor, clean-up -------------------------------------------
  // false on success.
  bool free_ev_slot(int evslot);
  // Withdraws a deposited block, then returns it to its pool: false when
  // returned, true otherwise. While a reader of its event may be reading it,
  // the block stays in the event and goes back to its pool when the event
  // ends; the caller no longer owns it (false).
  bool return_buffer_in_pool_ext(KOVA_EVTYPE evtype, int bnum, int id);
  bool start_monitor();
  bool stop_monitor();
  void monitor_exec();
  void all_clean_up();
  void forced_clean();

  // --- dumps (read without locks) -------------------------------------------
  void dump_cl_slots(std::ostream& os);
  void dump_cl_slots();
  void dump_ev_slots(std::ostream& os);
  void dump_ev_slots();

  static void hesk_dump_message(char* message) { ::hesk_dump_message(message); }

  // --- the partition pool ----------------------------------------------------
  // The pool operations of C_shm_mpool, serialised with this object's reader
  // and monitor threads, which use the pool too (call them on the Hesk
  // object, not through a C_shm_mpool pointer). Same results as there.
  bool add(const char* name);
  bool add(int id);
  int add(const char* name, int nbuf, int lbuf, bool sems);
  bool remove(const char* name);
  bool remove(int id);
  C_shm_buffer* find_by_name(const char* name);
  C_shm_buffer* find_by_id(int id);
  bool exists(int id);
  bool exists(const char* name);
  void bufmode(int mode, const char* name);
  void bufmode(int mode, int id);
  char* get_buffer_from_pool(int mode, int size, int* id, int* bnum);
  int get_buffer_id_from_pool(char* addr, int* id);
  char* get_buffer_address(int bnum, int id, bool autoadd);
  bool return_buffer_in_pool(char* addr);
  bool return_buffer_in_pool(char* addr, int id);
  bool return_buffer_in_pool(int bnum, int id);
  void pooldump(std::ostream& os);
  void pooldump();
  // The same for the manager's own address lookups and buffer returns.
  char* pool_buffer_address(int bnum, int id);
  bool pool_return_buffer(int bnum, int id);

 private:
  std::recursive_mutex pool_mx_;   // guards the pool maps between threads
  std::mutex lists_mx_;            // guards sreader and swriter between threads
  std::atomic<bool> ready_;        // start-up complete: control pointers valid
  std::atomic<bool> monitor_run_;  // this object's monitor keeps going
  std::atomic<bool> reader_run_;   // this object's reader keeps going
  int master_lock_semid_;          // semaphore set of the master lock held, -1 for none
  std::unique_ptr<hesk_mgr::UdpSocket> reader_sock_;         // bound reader socket (qid)
  std::unique_ptr<hesk_mgr::UdpSocket> send_sock_;           // sender without a reader socket
  std::unique_ptr<hesk_mgr::ManagedThread> reader_thread_;   // rid
  std::unique_ptr<hesk_mgr::ManagedThread> monitor_thread_;  // pid
  std::unique_ptr<hesk_mgr::MonitorState> monitor_state_;    // monitor thread only
  std::unique_ptr<hesk_mgr::StatsPartition> stats_;          // the manager's counts
  std::atomic<hesk_stats_block*> stats_block_;               // their block; null: none

  friend struct hesk_mgr::HeskAccess;
};

// Prints one event slot (see dump_ev_slots); takes slot lock 0 of ev_buf
// first when lock is true.
void print_out_event(Hesk* hesk, void* evtctrl, C_shm_buffer* ev_buf, int slot, bool lock);

#endif  // HESK_HESK_H
