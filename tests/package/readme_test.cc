// Every C++ example of the README compiles against the installed package
// and runs as written. The rules the README states: each ```cpp block (or
// ```c++) is one program; a block with its own main is taken as it is, any
// other block is the body of main, its #include lines first; a block
// fenced "```cpp fragment" is not compiled; blocks of other languages are
// ignored. Each example runs in a directory of its own holding run.daq
// (written by the installed hesk-daqgen), with partition names of its own
// in KOVA_CLI_SHM_NAME and KOVA_EV_SHM_NAME; it must exit 0 and leave no
// partition behind. Compiler messages point at the README's lines.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "C_shm.h"
#include "C_shm_kill.h"
#include "tool_process.h"

namespace {

struct Example {
  int line;  // of the block's first code line in the README
  std::vector<std::string> code;
};

std::string trim_left(const std::string& s, size_t n) {
  size_t i = 0;
  while (i < n && i < s.size() && s[i] == ' ') ++i;
  return s.substr(i);
}

std::vector<Example> cpp_examples(const std::string& path, int* skipped) {
  std::ifstream in(path);
  std::vector<Example> out;
  std::string line;
  int number = 0;
  bool inside = false, wanted = false;
  size_t indent = 0;
  std::string fence;
  while (std::getline(in, line)) {
    ++number;
    const size_t lead = line.find_first_not_of(' ');
    const std::string text = lead == std::string::npos ? "" : line.substr(lead);
    if (!inside) {
      if (text.rfind("```", 0) != 0 && text.rfind("~~~", 0) != 0) continue;
      fence = text.substr(0, 3);
      std::istringstream info(text.substr(3));
      std::string lang, mark;
      info >> lang >> mark;
      inside = true;
      indent = lead;
      wanted = (lang == "cpp" || lang == "c++") && mark != "fragment";
      if ((lang == "cpp" || lang == "c++") && mark == "fragment") ++*skipped;
      if (wanted) out.push_back(Example{number + 1, {}});
    } else if (text.rfind(fence, 0) == 0 && text.find_first_not_of(fence[0]) == std::string::npos) {
      inside = false;
    } else if (wanted) {
      out.back().code.push_back(trim_left(line, indent));
    }
  }
  return out;
}

bool has_main(const Example& e) {
  for (const std::string& l : e.code)
    if (l.find("int main(") != std::string::npos) return true;
  return false;
}

// The example as a program, with #line directives into the README.
std::string program(const Example& e, const std::string& readme) {
  std::ostringstream src;
  const std::string where = "\"" + readme + "\"";
  if (has_main(e)) {
    src << "#line " << e.line << " " << where << "\n";
    for (const std::string& l : e.code) src << l << "\n";
    return src.str();
  }
  for (size_t i = 0; i < e.code.size(); ++i)
    if (e.code[i].rfind("#include", 0) == 0)
      src << "#line " << e.line + static_cast<int>(i) << " " << where << "\n" << e.code[i] << "\n";
  src << "int main() {\n";
  for (size_t i = 0; i < e.code.size(); ++i) {
    if (e.code[i].rfind("#include", 0) == 0) continue;
    src << "#line " << e.line + static_cast<int>(i) << " " << where << "\n" << e.code[i] << "\n";
  }
  src << "return 0;\n}\n";
  return src.str();
}

void write(const std::string& path, const std::string& text) {
  std::ofstream(path) << text;
}

std::string shell(const std::string& cmd, int* code) {
  return ToolProcess::run({"/bin/sh", "-c", cmd + " 2>&1"}, code, 600);
}

// Names of the partitions on the host that contain `part`.
std::vector<std::string> partitions_with(const std::string& part) {
  std::vector<std::string> names;
  for (int id : C_shm::partition_ids()) {
    C_shm v;
    v.keep(true);
    if (v.find(id)) continue;
    const std::string name = v.getStat("name");
    if (name.find(part) != std::string::npos) names.push_back(name);
  }
  return names;
}

class ReadmeExamples : public testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/hesk-readme.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    int code = 0;
    shell("rm -rf '" + dir_ + "'", &code);
  }
  std::string dir_;
};

TEST_F(ReadmeExamples, CompileAndRunAsWritten) {
  int fragments = 0;
  const std::vector<Example> examples = cpp_examples(HESK_README, &fragments);
  ASSERT_GE(examples.size(), 5u) << "the README's C++ examples were not found";

  // The package, installed as a caller outside the tree gets it.
  int code = -1;
  const std::string prefix = dir_ + "/prefix", src = dir_ + "/src", build = dir_ + "/build";
  std::string out =
      shell("'" CMAKE_COMMAND "' --install '" HESK_BUILD_DIR "' --prefix '" + prefix + "'", &code);
  ASSERT_EQ(code, 0) << out;

  // One project, one program per example.
  ASSERT_EQ(mkdir(src.c_str(), 0700), 0);
  std::string cmake =
      "cmake_minimum_required(VERSION 3.25)\n"
      "project(readme_examples LANGUAGES CXX)\n"
      "set(CMAKE_CXX_STANDARD 17)\n"
      "find_package(hesk CONFIG REQUIRED)\n";
  for (size_t i = 0; i < examples.size(); ++i) {
    const std::string name = "example_" + std::to_string(i + 1);
    write(src + "/" + name + ".cc", program(examples[i], HESK_README));
    cmake += "add_executable(" + name + " " + name + ".cc)\ntarget_link_libraries(" + name +
             " PRIVATE hesk::Hesk hesk::Istrel hesk::Quormapi)\n";
  }
  write(src + "/CMakeLists.txt", cmake);
  out = shell("'" CMAKE_COMMAND "' -S '" + src + "' -B '" + build +
                  "' -G Ninja -DCMAKE_PREFIX_PATH='" + prefix +
                  "' -DCMAKE_CXX_COMPILER='" HESK_CXX "' '-DCMAKE_CXX_FLAGS=" HESK_EXAMPLE_FLAGS
                  "' && '" CMAKE_COMMAND "' --build '" +
                  build + "' -- -k 0",
              &code);
  ASSERT_EQ(code, 0) << "the README's examples do not build:\n" << out;

  // A DAQ file for the examples that read one.
  const std::string data = dir_ + "/run.daq";
  out = ToolProcess::run({prefix + "/bin/hesk-daqgen", data}, &code);
  ASSERT_EQ(code, 0) << out;

  for (size_t i = 0; i < examples.size(); ++i) {
    const std::string tag = "readme." + std::to_string(getpid()) + "." + std::to_string(i + 1);
    const std::string work = dir_ + "/work_" + std::to_string(i + 1);
    SCOPED_TRACE("README line " + std::to_string(examples[i].line));
    ASSERT_EQ(mkdir(work.c_str(), 0700), 0);
    ASSERT_EQ(link(data.c_str(), (work + "/run.daq").c_str()), 0);
    setenv("KOVA_CLI_SHM_NAME", (tag + ".cl").c_str(), 1);
    setenv("KOVA_EV_SHM_NAME", (tag + ".ev").c_str(), 1);
    ToolProcess run({build + "/example_" + std::to_string(i + 1)}, work);
    run.read_all(120);
    const int st = run.wait(60);
    EXPECT_TRUE(st != -1 && WIFEXITED(st) && WEXITSTATUS(st) == 0)
        << "the example failed (status " << st << "):\n"
        << run.output();
    // Its own partitions and any named after its process are gone.
    for (const std::string& part : {tag, std::to_string(run.pid())}) {
      for (const std::string& name : partitions_with(part)) {
        ADD_FAILURE() << "the example left partition " << name;
        C_shm_kill kill(name.c_str());
      }
    }
  }
  unsetenv("KOVA_CLI_SHM_NAME");
  unsetenv("KOVA_EV_SHM_NAME");
}

}  // namespace
