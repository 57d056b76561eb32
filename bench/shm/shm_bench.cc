// Take+return of one buffer (C_shm_buffer::get_buffer, return_buffer) in one
// process, and with a second process doing the same on the same partition,
// beside the floor: one bare semop lock+unlock pair on a private semaphore
// with undo (as the partition's gate uses), measured in the same run.
//
// Counters: floor_ns is the bare pair measured once at start-up, alone;
// x_floor is the benchmark's wall time per iteration in such pairs (the goal
// for a take+return is at most 3). The two-process rows show what contention
// does to both: compare BM_TakeReturn_TwoProcesses with
// BM_BareSemopPair_TwoProcesses.
//
// Run: build/dev-shm/bench/shm/hesk_shm_bench
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/sem.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <new>
#include <string>
#include <thread>

#include "C_shm_buffer.h"
#include "C_shm_kill.h"

namespace {

constexpr int kBuffers = 8;
constexpr int kLength = 256;

const char* g_name = nullptr;  // the benchmark's partition
C_shm_buffer* g_part = nullptr;
int g_semid = -1;  // the floor's semaphore

void bare_pair(int semid) {
  sembuf lock = {0, -1, SEM_UNDO};
  sembuf unlock = {0, 1, SEM_UNDO};
  semop(semid, &lock, 1);
  semop(semid, &unlock, 1);
}

// Nanoseconds of one bare lock+unlock pair, measured once, uncontended.
double floor_ns() {
  static const double ns = [] {
    for (int i = 0; i < 20000; ++i) bare_pair(g_semid);
    constexpr int kPairs = 400000;
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < kPairs; ++i) bare_pair(g_semid);
    const auto t1 = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::nano>(t1 - t0).count() / kPairs;
  }();
  return ns;
}

// Runs body once per iteration and reports the time per iteration in bare
// pairs beside the floor itself.
template <typename Body>
void measure(benchmark::State& state, Body body) {
  const auto t0 = std::chrono::steady_clock::now();
  for (auto _ : state) {
    if (!body()) {
      state.SkipWithError("no free buffer");
      break;
    }
  }
  const auto t1 = std::chrono::steady_clock::now();
  const double per_iteration = std::chrono::duration<double, std::nano>(t1 - t0).count() /
                               static_cast<double>(state.iterations() > 0 ? state.iterations() : 1);
  state.counters["floor_ns"] = floor_ns();
  state.counters["x_floor"] = per_iteration / floor_ns();
}

// A second process running `work` until told to stop; stopped and reaped
// (within five seconds, else killed) when this goes out of scope.
class Contender {
 public:
  template <typename Work>
  explicit Contender(Work work) {
    void* mem = mmap(nullptr, sizeof(std::atomic<int>), PROT_READ | PROT_WRITE,
                     MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    state_ = new (mem) std::atomic<int>(0);
    pid_ = fork();
    if (pid_ == 0) {
      alarm(300);
      work(*state_);
      _exit(0);
    }
    // Start measuring only once the contender runs.
    while (pid_ > 0 && state_->load() == 0) std::this_thread::yield();
  }
  ~Contender() {
    state_->store(2);
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (pid_ > 0 && waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    munmap(state_, sizeof(std::atomic<int>));
  }
  Contender(const Contender&) = delete;
  Contender& operator=(const Contender&) = delete;

 private:
  pid_t pid_ = -1;
  std::atomic<int>* state_ = nullptr;
};

// state: 0 starting, 1 running, 2 stop.
void contend_take_return(std::atomic<int>& state) {
  C_shm_buffer part(g_name);
  state.store(1);
  while (state.load(std::memory_order_relaxed) == 1) {
    if (char* b = part.get_buffer(4, true)) part.return_buffer(b);
  }
}

void contend_bare_pair(std::atomic<int>& state) {
  state.store(1);
  while (state.load(std::memory_order_relaxed) == 1) bare_pair(g_semid);
}

bool one_bare_pair() {
  bare_pair(g_semid);
  return true;
}

bool one_take_return() {
  char* b = g_part->get_buffer(4, true);
  if (b == nullptr) return false;
  g_part->return_buffer(b);
  return true;
}

void BM_BareSemopPair(benchmark::State& state) {
  measure(state, one_bare_pair);
}

void BM_TakeReturn(benchmark::State& state) {
  measure(state, one_take_return);
}

void BM_BareSemopPair_TwoProcesses(benchmark::State& state) {
  Contender other(contend_bare_pair);
  measure(state, one_bare_pair);
}

void BM_TakeReturn_TwoProcesses(benchmark::State& state) {
  Contender other(contend_take_return);
  measure(state, one_take_return);
}

BENCHMARK(BM_BareSemopPair)->UseRealTime();
BENCHMARK(BM_TakeReturn)->UseRealTime();
BENCHMARK(BM_BareSemopPair_TwoProcesses)->UseRealTime();
BENCHMARK(BM_TakeReturn_TwoProcesses)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  const std::string name = "hesk-bench." + std::to_string(getpid()) + ".take";
  g_name = name.c_str();
  g_semid = semget(IPC_PRIVATE, 1, IPC_CREAT | 0600);
  if (g_semid < 0 || semctl(g_semid, 0, SETVAL, 1) != 0) {
    std::perror("semget");
    return 1;
  }
  int rc = 0;
  {
    C_shm_buffer part(g_name, kBuffers, kLength, false);
    if (part.valid()) {
      g_part = &part;
      std::printf("floor: bare semop lock+unlock pair %.1f ns\n", floor_ns());
      benchmark::RunSpecifiedBenchmarks();
      g_part = nullptr;
    } else {
      std::fprintf(stderr, "cannot create partition %s: %s\n", g_name, part.Error());
      rc = 1;
    }
  }  // the last user gone, the partition goes with it
  semctl(g_semid, 0, IPC_RMID);
  benchmark::Shutdown();
  return rc;
}
