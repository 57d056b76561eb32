// The child processes of the multi-process tests: each role is a small
// program that the test binary runs as a separate process.
#include <grp.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "process_fixture.h"
#include "test_points.h"

namespace hesk_mp {

namespace {

// Child: a writer delivering `count` events of server block `name`, keyed
// t0 + i seconds, from its own data partition `data`.
int writer_main(const std::string& dir, const std::string& name, const std::string& data, int count,
                unsigned t0) {
  Hesk h;
  if (!init_retrying(h)) return 10;
  kova_client c = request();
  std::list<std::string> n{name};
  if (h.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &n) < 1) return 11;
  int id = h.add(data.c_str(), kDataBuffers, 1024, false);
  if (id < 0) return 12;
  touch(dir + "/ready." + name);
  if (!wait_file(dir + "/go", 20000)) return 13;
  for (int i = 0; i < count; ++i) {
    int bid = id, bnum = -1;
    char* p = nullptr;
    for (int tries = 0; tries < 5000 && p == nullptr; ++tries) {
      p = h.get_buffer_from_pool(4, 512, &bid, &bnum);
      if (p == nullptr) usleep(1000);
    }
    if (p == nullptr) return 14;
    kova_serv_block_head_2010 b;
    memset(&b, 0, sizeof(b));
    b.time = {t0 + static_cast<unsigned>(i), 0};
    b.ltotal = sizeof(b);
    b.mpulse = i + 1;
    strncpy(b.server, name.c_str(), 255);
    b.tmask = 1;
    memcpy(p, &b, sizeof(b));
    if (h.ev_update(KOVA_EV_NORMAL, id, bnum)) h.return_buffer_in_pool(bnum, id);
  }
  touch(dir + "/sent." + name);
  if (!wait_file(dir + "/stop", 60000)) return 15;
  return 0;
}

std::atomic<int> g_count{0};
std::atomic<bool> g_hang{false};

void reader_cb(void*, kova_client_sblock_data*) {
  g_count += 1;
  while (g_hang.load()) usleep(100000);  // a reader stuck in its callback
}

// Child: a reader counting events; `hang` makes it stick in its first callback.
int reader_main(const std::string& dir, const std::string& tag, bool hang) {
  g_hang = hang;
  Hesk h;
  h.set_ev_handler(reader_cb);
  if (!init_retrying(h)) return 20;
  kova_client c = request();
  if (h.subscribe(KOVA_EV_NORMAL, CLI_T_READER, &c, nullptr) < 1) return 21;
  touch(dir + "/ready." + tag);
  if (!wait_file(dir + "/stop", 60000)) return 22;
  // Written whole before it appears: the test reads it as soon as it is there.
  const std::string count = dir + "/count." + tag;
  std::ofstream(count + ".tmp") << g_count.load();
  return rename((count + ".tmp").c_str(), count.c_str()) == 0 ? 0 : 23;
}

// Child: a writer of another user (65534) that delivers one block of its own
// event; exits 0 when the block was accepted.
int other_user_writer_main(const std::string& dir, const std::string& name, const std::string& data,
                           unsigned t0) {
  if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) return 30;
  Hesk h;
  if (!init_retrying(h)) return 31;
  kova_client c = request();
  std::list<std::string> n{name};
  if (h.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &n) < 1) return 32;
  int id = h.add(data.c_str(), 4, 1024, false);
  if (id < 0) return 33;
  int bnum = HeskTest::put_block(h, id, name.c_str(), {t0, 0}, 1);
  if (bnum < 0) return 34;
  if (h.ev_update(KOVA_EV_NORMAL, id, bnum)) return 35;
  touch(dir + "/ready." + name);
  return 0;
}

// Child: a writer that takes one buffer of its data partition and holds it
// until it is killed.
int holder_main(const std::string& dir, const std::string& name, const std::string& data) {
  Hesk h;
  if (!init_retrying(h)) return 40;
  kova_client c = request();
  std::list<std::string> n{name};
  if (h.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &n) < 1) return 41;
  int id = h.add(data.c_str(), 4, 1024, false);
  if (id < 0) return 42;
  int bid = id, bnum = -1;
  if (h.get_buffer_from_pool(4, 512, &bid, &bnum) == nullptr) return 43;
  touch(dir + "/ready." + name);
  wait_file(dir + "/stop", 60000);
  return 0;
}

// Child: takes a client slot out of the free queue, as a subscriber does
// first, and is killed before it writes anything into it.
int slot_taker_main(const std::string& dir) {
  Hesk h;
  if (!init_retrying(h)) return 50;
  char* slot = h.cl_buf->get_buffer(4, true);
  if (slot == nullptr) return 51;
  std::ofstream(dir + "/slot") << h.cl_buf->buffer_id(slot);
  touch(dir + "/ready.slot");
  wait_file(dir + "/stop", 60000);
  return 0;
}

// Child: attaches to the control partitions and stays until told to stop.
int attacher_main(const std::string& dir, const std::string& tag) {
  Hesk h;
  if (!init_retrying(h)) return 60;
  touch(dir + "/ready." + tag);
  wait_file(dir + "/stop", 60000);
  return 0;
}

// Child: a master with the small sizes of the tests; "refused.<tag>" when
// its start-up is refused.
int master_main(const std::string& dir, const std::string& tag) {
  Hesk m;
  HeskTest::small(m);
  m.set_master(true);
  if (m.init()) {
    touch(dir + "/refused." + tag);
    return 70;
  }
  touch(dir + "/ready." + tag);
  wait_file(dir + "/stop", 60000);
  return 0;
}

// Child: a writer killed while it sets up the slot of its block's event,
// after the event's record was marked used.
int setup_victim_main(const std::string& dir, const std::string& name, const std::string& data,
                      unsigned t0) {
  Hesk h;
  if (!init_retrying(h)) return 80;
  kova_client c = request();
  std::list<std::string> n{name};
  if (h.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &n) < 1) return 81;
  int id = h.add(data.c_str(), kDataBuffers, 1024, false);
  if (id < 0) return 82;
  touch(dir + "/ready." + name);
  if (!wait_file(dir + "/go", 20000)) return 83;
  hesk_mgr::set_test_point_hook([](const char* point) {
    if (strcmp(point, "setup:marked") == 0) raise(SIGKILL);
  });
  int bnum = HeskTest::put_block(h, id, name.c_str(), {t0, 0}, 1);
  h.ev_update(KOVA_EV_NORMAL, id, bnum);
  return 84;  // not reached
}

// Child: holds the gate of partition `name` for `ms` milliseconds.
int gate_holder_main(const std::string& dir, const std::string& name, int ms) {
  C_shm_buffer p(name.c_str());
  if (!p.valid()) return 90;
  p.keep(true);
  if (!p.gate(true)) return 91;
  touch(dir + "/ready.gate");
  usleep(static_cast<useconds_t>(ms) * 1000);
  p.gate(false);
  return 0;
}

}  // namespace

int run_child(int argc, char** argv) {
  alarm(120);  // a stray child ends itself
  std::string role = argv[1] + 13;
  if (role == "writer" && argc == 7)
    return writer_main(argv[2], argv[3], argv[4], atoi(argv[5]),
                       static_cast<unsigned>(atol(argv[6])));
  if (role == "reader" && argc == 5)
    return reader_main(argv[2], argv[3], strcmp(argv[4], "hang") == 0);
  if (role == "other-user-writer" && argc == 6)
    return other_user_writer_main(argv[2], argv[3], argv[4], static_cast<unsigned>(atol(argv[5])));
  if (role == "holder" && argc == 5) return holder_main(argv[2], argv[3], argv[4]);
  if (role == "slot-taker" && argc == 3) return slot_taker_main(argv[2]);
  if (role == "attacher" && argc == 4) return attacher_main(argv[2], argv[3]);
  if (role == "setup-victim" && argc == 6)
    return setup_victim_main(argv[2], argv[3], argv[4], static_cast<unsigned>(atol(argv[5])));
  if (role == "gate-holder" && argc == 5) return gate_holder_main(argv[2], argv[3], atoi(argv[4]));
  if (role == "master" && argc == 4) return master_main(argv[2], argv[3]);
  return 2;
}

}  // namespace hesk_mp
