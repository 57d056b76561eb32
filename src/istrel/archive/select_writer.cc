// File selection of one writer: the run selection kept to the names of
// writer thrn, i.e. those ending in ".<thrn>.root" or ".<thrn>.raw".
#include <string>
#include <vector>

#include "selection.h"

using namespace kova_archive;

namespace {

bool of_writer(const std::string& name, const std::string& root_tail, const std::string& raw_tail) {
  return name.find(root_tail) != std::string::npos || name.find(raw_tail) != std::string::npos;
}

}  // namespace

int get_files_for_runsn(std::vector<int*>* runs, std::vector<kova_root_xml_files*>* out,
                        std::string& descr, int thrn, std::string* exp, char* dirext, int format) {
  return get_files_for_runsnf(runs, out, descr, thrn, exp, dirext, format, -1);
}

int get_files_for_runsnf(std::vector<int*>* runs, std::vector<kova_root_xml_files*>* out,
                         std::string& descr, int thrn, std::string* exp, char* dirext, int format,
                         int filen) {
  if (thrn == 0) return get_files_for_runsf(runs, out, descr, exp, dirext, format, filen);
  if (out == nullptr) return KOVA_FILE_BAD_PRM;
  std::vector<kova_root_xml_files*> all;
  if (get_files_for_runsf(runs, &all, descr, exp, dirext, format, filen) != 0) {
    clear_root_xml_files(&all);
    return get_files_for_runsf(runs, out, descr, exp, dirext, format, filen);
  }
  const std::string wanted = exp != nullptr ? *exp : std::string();
  // Anchored on the "." before the writer number: writer 3 is not writer 13.
  const std::string root_tail = "." + itos(thrn) + ".root";
  const std::string raw_tail = "." + itos(thrn) + ".raw";
  for (kova_root_xml_files*& g : all) {
    std::vector<std::string*> kept;
    for (std::string* s : g->rfiles) {
      if (of_writer(*s, root_tail, raw_tail)) {
        cut_at_experiment(*s, wanted);
        kept.push_back(s);
      } else {
        delete s;
      }
    }
    g->rfiles = std::move(kept);
    if (g->rfiles.empty()) {
      delete g->xmlfile;
      delete g;
    } else {
      out->push_back(g);
    }
    g = nullptr;
  }
  return KOVA_FILE_OK;
}
