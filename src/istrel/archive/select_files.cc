// File selection by runs and by period over the merged run catalogs.
#include <cstdio>
#include <ctime>
#include <string>
#include <unordered_set>
#include <vector>

#include "selection.h"

namespace kova_archive {

void cut_at_experiment(std::string& name, const std::string& exp) {
  const size_t at = name.find(exp);
  if (at != std::string::npos && at > 0) name.erase(0, at);
}

void RunGroups::enter(kova_run_catalog* e) {
  if (first_ != nullptr && first_->run == e->run) return;
  close();
  first_ = e;
}

void RunGroups::add(std::vector<std::string*> names) {
  for (std::string* s : names) {
    if (s != nullptr && !s->empty() && first_ != nullptr && seen_.insert(*s).second)
      files_.push_back(s);
    else
      delete s;
  }
}

void RunGroups::close() {
  if (first_ == nullptr) return;
  if (!files_.empty()) {
    auto* g = new kova_root_xml_files;
    char buf[kMaxName + 1];
    int len = sizeof(buf);
    const std::string exp = field(first_->exp), stream = field(first_->stream);
    if (get_chan_descr_file_name(const_cast<char*>(exp.c_str()), const_cast<char*>(stream.c_str()),
                                 first_->run, buf, &len, dirext_, first_->year) == 0) {
      g->xmlfile = new std::string(buf);
    } else {
      printf("get_files_for_time() failed to get descr file name\n");
      g->xmlfile = new std::string("undefined");
    }
    for (std::string* s : files_) cut_at_experiment(*s, wanted_);
    g->rfiles = std::move(files_);
    out_->push_back(g);
  }
  files_.clear();
  seen_.clear();
  first_ = nullptr;
}

void RunGroups::finish() {
  close();
  for (kova_root_xml_files* g : *out_) sort_files(&g->rfiles);
}

}  // namespace kova_archive

using namespace kova_archive;

namespace {

// Membership of the run selection, one look-up per entry.
class RunSet {
 public:
  explicit RunSet(const std::vector<int*>& runs) {
    for (int* r : runs) {
      if (r == nullptr) continue;
      if (*r == -1) any_ = true;
      runs_.insert(*r);
    }
  }
  bool has(int run) const { return any_ || runs_.count(run) != 0; }

 private:
  bool any_ = false;
  std::unordered_set<int> runs_;
};

}  // namespace

int get_files_for_runs(std::vector<int*>* runs, std::vector<kova_root_xml_files*>* out,
                       std::string& descr, std::string* exp, char* dirext, int format) {
  return get_files_for_runsf(runs, out, descr, exp, dirext, format, -1);
}

int get_files_for_runsf(std::vector<int*>* runs, std::vector<kova_root_xml_files*>* out,
                        std::string& /*descr*/, std::string* exp, char* dirext, int format,
                        int filen) {
  if (out == nullptr || runs == nullptr || format < 0 || format > KOVA_DAQ_DATA_RAW64_FORMAT)
    return KOVA_FILE_BAD_PRM;
  out->clear();
  const std::string wanted = exp != nullptr ? *exp : std::string();
  std::vector<kova_run_catalog*> list;
  if (int rc = load_catalogs(wanted.c_str(), dirext, &list)) return rc;
  const RunSet selected(*runs);
  {
    RunGroups groups(out, wanted, dirext);
    for (kova_run_catalog* e : list) {
      if (lies(*e) || !exp_matches(*e, wanted)) continue;
      groups.enter(e);
      if (!selected.has(e->run)) continue;
      groups.collect(format, [&](int f) {
        std::vector<std::string*> tmp;
        get_root_file_name_from_index_file(0, 0, e, dirext, &tmp, f, 0, e->year, filen);
        return tmp;
      });
    }
    groups.finish();
  }
  clear_run_catalog_mem(&list);
  return KOVA_FILE_OK;
}

int get_files_for_period(unsigned int start, unsigned int end,
                         std::vector<kova_root_xml_files*>* out, std::string& /*descr*/,
                         std::string* exp, char* dirext, int format) {
  if (out == nullptr || format < 0 || format > KOVA_DAQ_DATA_RAW64_FORMAT)
    return KOVA_FILE_DIR_ERROR;
  out->clear();
  if (end == 0) end = start;
  const std::string wanted = exp != nullptr ? *exp : std::string();
  std::vector<kova_run_catalog*> list;
  if (int rc = load_catalogs(wanted.c_str(), dirext, &list)) return rc;
  const time_t now = time(nullptr);
  {
    RunGroups groups(out, wanted, dirext);
    for (kova_run_catalog* e : list) {
      // Only runs that have ended, with both times known.
      if (e->tend == 0 || static_cast<time_t>(e->tend) > now || e->tstart == 0 || lies(*e) ||
          !exp_matches(*e, wanted))
        continue;
      groups.enter(e);
      if (!check_time_interval(start, end, e->tstart, e->tend)) continue;
      groups.collect(format, [&](int f) {
        std::vector<std::string*> tmp;
        get_root_file_name_from_index_file(start, end, e, dirext, &tmp, f, 1, e->year, -1);
        return tmp;
      });
    }
    groups.finish();
  }
  clear_run_catalog_mem(&list);
  return KOVA_FILE_OK;
}

int get_files_for_period_new(unsigned int start, unsigned int end,
                             std::vector<kova_root_xml_files*>* out, char* exp, char* dirext) {
  if (exp == nullptr) return -1;
  std::string descr;
  std::string wanted(exp);
  return get_files_for_period(start, end, out, descr, &wanted, dirext, KOVA_DAQ_DATA_RAW_FORMAT);
}

void clear_root_xml_files(std::vector<kova_root_xml_files*>* list) {
  if (list == nullptr) return;
  for (kova_root_xml_files* g : *list) {
    if (g == nullptr) continue;
    for (std::string* s : g->rfiles) delete s;
    delete g->xmlfile;
    delete g;
  }
  list->clear();
}
