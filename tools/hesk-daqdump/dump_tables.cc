// The default dump: the reference table, then every table the file has,
// each through its printer; and one event type's index entry.
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "daq_file.h"

namespace daqdump {

namespace {

// A table a reader returned, freed when owned.
struct Held {
  void* p = nullptr;
  bool owned = true;
  ~Held() {
    if (owned) free(p);
  }
};

// Reports a reader's failure; absent tables (-6) are only noted.
bool report(const char* table, int rc, bool* damaged) {
  if (rc == 0) return true;
  if (rc == -6) {
    printf("(no %s in this file)\n", table);
  } else {
    std::cerr << "hesk-daqdump: " << table << ": cannot be read (code " << rc << ")\n";
    *damaged = true;
  }
  return false;
}

void print_xml(const DaqFile& f, void* xcd) {
  const bool wide = f.generation() == 2024;
  const size_t header = wide ? 16 : 8;
  const uint64_t length =
      wide ? static_cast<uint64_t>(static_cast<kova_xml_chan_descr_header_2024*>(xcd)->length)
           : static_cast<uint64_t>(static_cast<kova_xml_chan_descr_header*>(xcd)->length);
  printf("========================\nXML Channel Description (XCD)\n");
  fwrite(static_cast<char*>(xcd) + header, 1, length - header, stdout);
  printf("\n==========END=OF=XCD========\n");
}

}  // namespace

int dump_tables(const DaqFile& f) {
  bool damaged = false;
  const unsigned long n = f.length();
  const int fd = f.fd();
  void* frt = f.frt();
  printf("%s: generation %d, %s byte order, %lu bytes\n", "DAQ file", f.generation(),
         f.swapped() ? "opposite" : "host", n);
  print_kova_file_reference_table(frt);

  if (f.eit_ref() == 0) {
    printf("(no EIT in this file)\n");
  } else {
    for (int type = 0; type < KOVA_EV_EVMAX; ++type) {
      Held e;
      int out = 0;
      const int rc = kova_get_event_index_table_by_type(f.base(), frt, type, &e.p, &out);
      e.owned = rc == 0 && out == 1;
      if (rc == 0)
        print_kova_event_index_table(e.p);
      else if (rc != -7)
        report("EIT", rc, &damaged);
    }
  }
  Held cdt;
  if (report("CDT", kova_get_channel_dictionary_table_m(n, frt, fd, &cdt.p), &damaged))
    print_kova_channel_dictionary_table(cdt.p);
  {
    Held ecp;
    if (report("ECPT", kova_get_event_chan_pointers_table_m(n, frt, fd, &ecp.p), &damaged))
      print_kova_event_chan_pointers_table(ecp.p);
  }
  {
    Held eidt;
    if (report("EIDT", kova_get_env_index_dictionary_table_m(n, frt, fd, &eidt.p), &damaged))
      print_kova_env_index_dictionary_table(eidt.p, cdt.p);
  }
  {
    Held xcd;
    if (report("XCD", kova_get_chan_descr_table_m(n, frt, fd, &xcd.p), &damaged))
      print_xml(f, xcd.p);
  }
  // Baskets are read in host byte order only.
  Held ehb, sbhb;
  ehb.owned = sbhb.owned = false;
  int rc = kova_get_event_header_basket_table(f.base(), frt, &ehb.p);
  if (rc == -5 && f.swapped())
    printf("(EHB in the opposite byte order: not printed)\n");
  else if (report("EHB", rc, &damaged))
    print_kova_event_header_basket(ehb.p);
  rc = kova_get_server_block_basket_table(f.base(), frt, &sbhb.p);
  if (rc == -5 && f.swapped())
    printf("(SBHB in the opposite byte order: not printed)\n");
  else if (report("SBHB", rc, &damaged))
    print_kova_server_block_basket(sbhb.p);
  return damaged ? kMissing : kOk;
}

int dump_type(const DaqFile& f, int type) {
  Held e;
  int out = 0;
  const int rc = kova_get_event_index_table_by_type(f.base(), f.frt(), type, &e.p, &out);
  e.owned = rc == 0 && out == 1;
  if (rc == 0) {
    print_kova_event_index_table(e.p);
    return kOk;
  }
  if (rc == -7 || rc == -6)
    std::cerr << "hesk-daqdump: no events of type " << event_name_itoa(type) << " in the index\n";
  else
    std::cerr << "hesk-daqdump: EIT: cannot be read (code " << rc << ")\n";
  return kMissing;
}

}  // namespace daqdump
