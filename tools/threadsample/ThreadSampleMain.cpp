// thread_sample: how many threads compute at once during a run.
//   thread_sample BITS SEQUENCES CONCURRENCY [pooled | slots=S,S,...]
// Runs the window's default battery (or, with `pooled`, only AMLS, Windowed
// autocorrelation, Permutation and Linear complexity; with `slots=`, only
// the tests of those slots) through the engine on
// SEQUENCES sequences of BITS bits of the null generator, with "Concurrent
// threads" at CONCURRENCY (0: the processor count, the window's default),
// and samples the process's threads every millisecond: the number in state
// R (running or ready to run) in /proc/self/task/*/stat, the sampler itself
// left out. Prints the command line, the processor count, the largest
// count, the share of samples above processor count + 1 and the histogram.
// A figure on a machine that other work shares counts ready threads that
// wait for a processor as well.
#include <dirent.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <wx/init.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>

#include "battery/Messages.h"
#include "battery/RunState.h"
#include "engine/ResultsModel.h"
#include "engine/RunTests.h"
#include "engine/RunView.h"
#include "platform/DynamicLibrary.h"
#include "platform/Processors.h"
#include "tools/nullrun/BatteryRun.h"

namespace {

// A view that shows nothing and answers the chosen concurrency.
class QuietView : public RunView {
 public:
  explicit QuietView(int concurrency) : concurrency_(concurrency) {
    oldLog_ = SetLogHandler([](const wxString&) {});
    oldBox_ = SetMessageBoxHandler([](const wxString&, const wxString&, long) { return static_cast<int>(wxOK); });
  }
  ~QuietView() override {
    SetLogHandler(oldLog_);
    SetMessageBoxHandler(oldBox_);
  }
  int Concurrency() override { return concurrency_; }
  std::string InputText() override { return "NullGenerator.so"; }
  void SetStatus(int, const std::string&) override {}
  void ShowPage(int) override {}
  void DispatchEvents() override {}
  void ClearResults() override {}
  bool ShowResults(const ResultsModel&, bool) override { return true; }
  void ShowPearson(const ResultsModel&) override {}
  void ShowPlot(const PlotSeries&) override {}
  void ShowGofTable(const GofResults&) override {}
  int LogLineCount() override { return 1; }
  std::string LogLine(int) override { return ""; }

 private:
  int concurrency_;
  LogHandler oldLog_ = nullptr;
  MessageBoxHandler oldBox_ = nullptr;
};

// Threads of this process in state R, the calling thread left out.
int RunningThreads(long self) {
  int running = 0;
  DIR* dir = opendir("/proc/self/task");
  if (dir == nullptr) return -1;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.' || atol(entry->d_name) == self) continue;
    std::ifstream stat(std::string("/proc/self/task/") + entry->d_name + "/stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    // The state follows the command name, which is in parentheses.
    const size_t close = line.rfind(')');
    if (close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'R') ++running;
  }
  closedir(dir);
  return running;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: thread_sample BITS SEQUENCES CONCURRENCY [pooled]\n");
    return 2;
  }
  const uint32_t bits = static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10));
  const int sequences = std::atoi(argv[2]);
  const int processors = platform::ProcessorCount();
  const int concurrency = std::atoi(argv[3]) > 0 ? std::atoi(argv[3]) : processors;
  const std::string only = argc > 4 ? argv[4] : "";
  const bool pooled = only == "pooled";
  if (!wxInitialize()) return 1;

  nullrun::BatteryConfig config;
  config.bits = bits;
  config.sequences = sequences;
  config.seed = 1;
  config.binDir = std::filesystem::canonical("/proc/self/exe").parent_path().string();
  config.folder = std::filesystem::temp_directory_path().string() + "/thread_sample." + std::to_string(getpid());
  std::filesystem::create_directories(config.folder);
  if (!nullrun::PrepareFolder(config)) return 1;
  platform::DynamicLibrary* generator =
      platform::LoadDynamicLibrary((config.binDir + "/NullGenerator.so").c_str());
  if (generator == nullptr) return 1;
  std::vector<char> folder(config.folder.begin(), config.folder.end());
  folder.push_back('\0');
  dataDir = folder.data();
  nullrun::UseWindowDefaults(bits, sequences);
  if (pooled)
    for (int s = 0; s < TEST_SLOTS; ++s)
      testTable[s].enabled = s == SLOT_AMLS || s == SLOT_AUTOW || s == SLOT_PERM || s == SLOT_LINCPLX;
  if (only.rfind("slots=", 0) == 0) {
    for (TestEntry& e : testTable) e.enabled = false;
    for (const char* p = only.c_str() + 6; *p != '\0';) {
      char* end;
      const long slot = std::strtol(p, &end, 10);
      if (end == p || slot < 0 || slot >= TEST_SLOTS) return 2;
      testTable[slot].enabled = true;
      p = *end == ',' ? end + 1 : end;
    }
  }

  std::atomic<bool> done{false};
  std::map<int, long> histogram;
  std::thread sampler([&] {
    const long self = syscall(SYS_gettid);
    while (!done.load()) {
      ++histogram[RunningThreads(self)];
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  int result;
  {
    QuietView view(concurrency);
    result = RunTests(view, generator);
  }
  done = true;
  sampler.join();
  platform::FreeDynamicLibrary(generator);
  std::filesystem::remove_all(config.folder);
  wxUninitialize();

  long samples = 0, above = 0;
  int most = 0;
  for (const auto& [count, times] : histogram) {
    samples += times;
    if (count > processors + 1) above += times;
    most = std::max(most, count);
  }
  std::printf("# thread_sample %s %s %s%s%s\n", argv[1], argv[2], argv[3], only.empty() ? "" : " ", only.c_str());
  std::printf("processors %d, concurrent threads %d, engine result %d\n", processors, concurrency, result);
  std::printf("samples %ld, most threads in state R %d, above processors + 1 (%d) in %.2f%% of samples\n", samples,
              most, processors + 1, samples > 0 ? 100.0 * above / samples : 0.0);
  for (const auto& [count, times] : histogram) std::printf("%3d: %ld\n", count, times);
  return result;
}
