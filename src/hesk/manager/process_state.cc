// Process-wide state of the buffer manager: debug selector, bad-datagram
// count, monitor flags, the diagnostic line printer, the cached address of
// "localhost", liveness tests and the client slots' access times.
#include <netdb.h>
#include <signal.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "event_util.h"
#include "manager_internal.h"

int KOVA_DAQ_HESK_DEBUG = 0;
int hesk_bad_format_events = 0;
bool monitor_go = true;
int free_flag = 0;

namespace {
struct hostent g_host_entry;
}  // namespace

void hesk_dump_message(char* message) {
  char date[16];
  create_isodate(date, true);
  printf("%s %s\n", date, message ? message : "");
  fflush(nullptr);
}

int resolvehost(const char* name, char* buffer, int length, struct hostent** result) {
  int herr = 0;
  struct hostent* found = nullptr;
  int rc = gethostbyname_r(name, &g_host_entry, buffer, static_cast<size_t>(length), &found, &herr);
  if (rc != 0 || found == nullptr) {
    fprintf(stderr, "gethostbyname_r() failed to resolve hostname [%s]", name);
    return rc != 0 ? rc : (herr != 0 ? herr : -1);
  }
  *result = found;
  return 0;
}

namespace hesk_mgr {

void message(const char* fmt, ...) {
  char text[2048];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(text, sizeof(text), fmt, ap);
  va_end(ap);
  hesk_dump_message(text);
}

time_stamp now() {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  return time_stamp{static_cast<uint32_t>(tv.tv_sec), static_cast<uint32_t>(tv.tv_usec)};
}

bool lock_unless_stopped(const C_shm* shm, int slot, const std::atomic<bool>& go) {
  if (shm == nullptr || !shm->valid() || slot < 0 || slot >= shm->getBufferCount()) return false;
  while (!shm->ctrl(slot, true)) {
    if (!go.load() || !shm->valid()) return false;
  }
  return true;
}

bool holds_writer_of(Hesk& h, int evtype) {
  std::lock_guard<std::mutex> lock(HeskAccess::lists_mutex(h));
  for (int c : h.swriter) {
    kova_client_slot_head* s = HeskAccess::client_slot(h, c);
    if (s != nullptr && s->evtype == evtype && s->cltype == CLI_T_WRITER) return true;
  }
  return false;
}

bool holds_reader_slot(Hesk& h, int c) {
  std::lock_guard<std::mutex> lock(HeskAccess::lists_mutex(h));
  for (int r : h.sreader)
    if (r == c) return true;
  return false;
}

bool process_gone(int pid) {
  if (pid <= 0) return false;
  return kill(pid, 0) != 0 && errno == ESRCH;
}

void kick_out(Hesk& h, int slot) {
  kova_client_slot_head* s = HeskAccess::client_slot(h, slot);
  bool own = s != nullptr && s->pid == static_cast<int32_t>(h.mpid);
  int p = -1;
  h.free_cl_slot(slot, &p);
  // Only this process's own reader port names its socket; a dead process's
  // old port number may have been given to this process again since.
  if (own) h.remove_queue(&p);
}

void touch_client(kova_client_slot_head* s, const time_stamp& t, bool completed) {
  __atomic_store_n(&s->atime.timeup, t.timeup, __ATOMIC_RELAXED);
  __atomic_store_n(&s->atime.timelow, t.timelow, __ATOMIC_RELAXED);
  if (completed) __atomic_fetch_add(&s->evcnt, 1, __ATOMIC_RELAXED);
}

time_stamp client_atime(const kova_client_slot_head* s) {
  return time_stamp{__atomic_load_n(&s->atime.timeup, __ATOMIC_RELAXED),
                    __atomic_load_n(&s->atime.timelow, __ATOMIC_RELAXED)};
}

void sleep_while(const std::atomic<bool>& go, unsigned long usec) {
  while (usec > 0 && go.load()) {
    unsigned long step = usec < 10000 ? usec : 10000;
    usleep(static_cast<useconds_t>(step));
    usec -= step;
  }
}

}  // namespace hesk_mgr

namespace hesk_mgr {

namespace {
std::mutex g_host_mx;
struct hostent* g_localhost = nullptr;
char g_host_buffer[4096];
}  // namespace

bool resolve_localhost() {
  std::lock_guard<std::mutex> lock(g_host_mx);
  if (g_localhost != nullptr) return false;
  memset(g_host_buffer, 0, sizeof(g_host_buffer));
  struct hostent* found = nullptr;
  int rc = resolvehost("localhost", g_host_buffer, sizeof(g_host_buffer), &found);
  if (rc != 0 || found == nullptr || found->h_addr_list == nullptr ||
      found->h_addr_list[0] == nullptr || found->h_addrtype != AF_INET) {
    perror("gethostbyname");
    printf("Failed to get 'localhost' address error: %d\n", rc);
    fflush(stdout);
    return true;
  }
  g_localhost = found;
  return false;
}

bool localhost_address(struct in_addr* out) {
  if (resolve_localhost()) return false;
  std::lock_guard<std::mutex> lock(g_host_mx);
  memcpy(out, g_localhost->h_addr_list[0], sizeof(*out));
  return true;
}

}  // namespace hesk_mgr
