// The guard of the library's file mappings against files that shrink under
// them. A page of a shared file mapping that lies past the file's new end
// raises SIGBUS when touched, which would kill a long-running reader. So:
//
//  - every mapping the library makes (kova_map_file, the windows of the
//    windowed readers) is entered, while it lives, in a fixed table of
//    address ranges that a signal handler can read without locks;
//  - one process-wide SIGBUS handler, installed at the first mapping, looks
//    the faulting address up. Inside a guarded mapping it maps an anonymous
//    page of zeros over the faulting page (MAP_FIXED, read-only), marks the
//    mapping damaged and returns: the interrupted read goes on and reads
//    zeros. Nothing is unwound and no C++ frame is skipped;
//  - every reader checks, after it touched a mapping, whether that mapping
//    is damaged and then returns KOVA_MAPPING_DAMAGED instead of what it read;
//  - a SIGBUS anywhere else goes to the handler that was installed before
//    (or to the default action), so real faults still end the process.
//
// The table is written only outside the handler: a slot is claimed with a
// compare-and-swap on its start address, filled, then published.
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <mutex>

#include "files_internal.h"

namespace files_detail {

namespace {

constexpr size_t kSlots = 4096;  // mappings alive at once
constexpr uintptr_t kFree = 0;
constexpr uintptr_t kClaimed = 1;  // being filled in: not yet a range

struct Slot {
  std::atomic<uintptr_t> begin{kFree};
  std::atomic<uintptr_t> end{0};
  std::atomic<int> damaged{0};
};

Slot g_slots[kSlots];
std::atomic<size_t> g_used{0};  // every live slot lies below this
uintptr_t g_page = 4096;
struct sigaction g_previous;

static_assert(std::atomic<uintptr_t>::is_always_lock_free, "read from a signal handler");
static_assert(std::atomic<int>::is_always_lock_free, "written from a signal handler");

// The live slot whose range holds `a`, or null. Safe in the handler.
Slot* find(uintptr_t a) {
  const size_t used = g_used.load(std::memory_order_acquire);
  for (size_t i = 0; i < used && i < kSlots; ++i) {
    const uintptr_t b = g_slots[i].begin.load(std::memory_order_acquire);
    if (b > kClaimed && a >= b && a < g_slots[i].end.load(std::memory_order_relaxed))
      return &g_slots[i];
  }
  return nullptr;
}

// What would have happened without this handler.
void pass_on(int sig, siginfo_t* si, void* ctx) {
  if (g_previous.sa_flags & SA_SIGINFO) {
    if (g_previous.sa_sigaction != nullptr) g_previous.sa_sigaction(sig, si, ctx);
    return;
  }
  if (g_previous.sa_handler == SIG_IGN && (si == nullptr || si->si_code <= 0))
    return;  // a sent SIGBUS that was ignored before
  if (g_previous.sa_handler != SIG_DFL && g_previous.sa_handler != SIG_IGN) {
    g_previous.sa_handler(sig);
    return;
  }
  // The default action: the signal is blocked while this runs, so it is
  // taken, with the default disposition, as soon as the handler returns.
  struct sigaction dfl = {};
  dfl.sa_handler = SIG_DFL;
  sigemptyset(&dfl.sa_mask);
  sigaction(SIGBUS, &dfl, nullptr);
  raise(SIGBUS);
}

void on_sigbus(int sig, siginfo_t* si, void* ctx) {
  const int saved = errno;
  // Only a fault the kernel raised (si_code > 0) has an address to look at.
  if (si != nullptr && si->si_code > 0) {
    const auto a = reinterpret_cast<uintptr_t>(si->si_addr);
    if (Slot* s = find(a)) {
      void* page = reinterpret_cast<void*>(a & ~(g_page - 1));
      if (mmap(page, g_page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) !=
          MAP_FAILED) {
        s->damaged.store(1, std::memory_order_release);
        errno = saved;
        return;
      }
    }
  }
  pass_on(sig, si, ctx);
  errno = saved;
}

void install() {
  const long page = sysconf(_SC_PAGESIZE);
  if (page > 0) g_page = static_cast<uintptr_t>(page);
  struct sigaction sa = {};
  sa.sa_sigaction = on_sigbus;
  sa.sa_flags = SA_SIGINFO | SA_RESTART | SA_ONSTACK;
  sigemptyset(&sa.sa_mask);
  if (sigaction(SIGBUS, &sa, &g_previous) != 0) perror("sigaction");
}

}  // namespace

bool guard_mapping(const void* base, uint64_t length) {
  static std::once_flag once;
  std::call_once(once, install);
  const auto b = reinterpret_cast<uintptr_t>(base);
  if (b <= kClaimed || length == 0 || length > UINTPTR_MAX - b) return false;
  // A new mapping replaces whatever was known of its addresses: a mapping
  // unmapped without kova_unmap_file left its range behind.
  const size_t used = g_used.load(std::memory_order_acquire);
  for (size_t i = 0; i < used && i < kSlots; ++i) {
    uintptr_t old = g_slots[i].begin.load(std::memory_order_acquire);
    if (old > kClaimed && old < b + length && b < g_slots[i].end.load(std::memory_order_relaxed))
      g_slots[i].begin.compare_exchange_strong(old, kFree, std::memory_order_acq_rel);
  }
  for (size_t i = 0; i < kSlots; ++i) {
    uintptr_t expected = kFree;
    if (!g_slots[i].begin.compare_exchange_strong(expected, kClaimed, std::memory_order_acq_rel))
      continue;
    g_slots[i].end.store(b + length, std::memory_order_relaxed);
    g_slots[i].damaged.store(0, std::memory_order_relaxed);
    size_t used = g_used.load(std::memory_order_relaxed);
    while (used < i + 1 && !g_used.compare_exchange_weak(used, i + 1, std::memory_order_acq_rel)) {
    }
    g_slots[i].begin.store(b, std::memory_order_release);
    return true;
  }
  errno = EMFILE;
  return false;
}

void unguard_mapping(const void* base) {
  const auto b = reinterpret_cast<uintptr_t>(base);
  const size_t used = g_used.load(std::memory_order_acquire);
  for (size_t i = 0; i < used && i < kSlots; ++i) {
    uintptr_t expected = b;
    if (b > kClaimed &&
        g_slots[i].begin.compare_exchange_strong(expected, kFree, std::memory_order_acq_rel))
      return;
  }
}

int damage_of(const void* p) {
  const Slot* s = find(reinterpret_cast<uintptr_t>(p));
  if (s == nullptr) return -1;
  return s->damaged.load(std::memory_order_acquire) != 0 ? 1 : 0;
}

}  // namespace files_detail

int kova_mapping_damaged(const void* addr) {
  return files_detail::damage_of(addr);
}
