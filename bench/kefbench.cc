// kefbench: how fast a project converts, compared with just reading it and writing a file
// as large as its result. For each requested size it generates a realistic project, then
// times, in separate processes and interleaved, the I/O baseline, the conversion through
// the library and the conversion through the kefconvert tool, and prints the median of
// several runs with the peak resident memory of each. A last measurement converts the most
// tables one database may hold.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "kefconvert/kefconvert.h"
#include "measure.h"
#include "project_generator.h"

namespace kefconvert::bench {
namespace {

constexpr double kMB = 1e6;

struct Settings {
  std::vector<double> sizes_mb;
  int runs = 5;
  std::uint32_t tables = 32767;
  std::string dir;
  std::string tool = KEFBENCH_TOOL_PATH;
  int batch = 5000;
  bool check = false;
  bool keep = false;
};

constexpr std::string_view kUsage =
    "usage: kefbench [--mb N]... [--runs N] [--tables N] [--batch N] [--dir DIR]\n"
    "                [--tool PATH] [--check] [--keep]\n"
    "  --mb N       size of a generated project in MB (repeatable; default 10 and 100)\n"
    "  --runs N     runs per measurement; the median is reported (default 5)\n"
    "  --tables N   tables after one database marker in the table-count run (default\n"
    "               32767; 0 skips it)\n"
    "  --batch N    small projects converted by one call of the tool (default 5000; 0\n"
    "               skips it)\n"
    "  --dir DIR    where the generated files go (default: a new folder in /tmp)\n"
    "  --tool PATH  the kefconvert tool to time (default: the one built with kefbench)\n"
    "  --check      exit with status 1 when a target is missed\n"
    "  --keep       keep the generated files\n";

// ---- the measured work, each run in a child process of its own ----

// Reads `input` in 1 MiB blocks and throws the bytes away.
bool ReadThrough(const std::string& input, std::vector<char>& block) {
  int in = ::open(input.c_str(), O_RDONLY);
  if (in < 0) return false;
  ssize_t n;
  while ((n = ::read(in, block.data(), block.size())) > 0) {
  }
  ::close(in);
  return n == 0;
}

bool WriteAll(int out, const char* data, std::uint64_t size) {
  while (size > 0) {
    ssize_t written = ::write(out, data, static_cast<std::size_t>(size));
    if (written <= 0) return false;
    data += written;
    size -= static_cast<std::uint64_t>(written);
  }
  return true;
}

// The least any conversion has to do: read the input and write `output_bytes` bytes, both
// in 1 MiB blocks from one buffer that stays in the cache. With `whole_text`, the output is
// first made in memory as a whole and written at once, as the converter writes it: the
// least a conversion that builds its whole text before writing can do.
int MeasureBaseline(const std::string& input, const std::string& output, std::uint64_t output_bytes,
                    bool whole_text) {
  std::vector<char> block(1 << 20, 'x');
  double start = Now();
  if (!ReadThrough(input, block)) return 2;
  int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (out < 0) return 2;
  if (whole_text) {
    char* text = static_cast<char*>(std::malloc(output_bytes + 1));
    if (text == nullptr) return 2;
    std::memset(text, 'x', output_bytes);
    if (!WriteAll(out, text, output_bytes)) return 2;
    std::free(text);
  } else {
    for (std::uint64_t left = output_bytes; left > 0;) {
      std::uint64_t n = left < block.size() ? left : block.size();
      if (!WriteAll(out, block.data(), n)) return 2;
      left -= n;
    }
  }
  if (::close(out) != 0) return 2;
  std::printf("%.6f %llu\n", Now() - start, static_cast<unsigned long long>(output_bytes));
  return 0;
}

int MeasureLibrary(const std::string& input) {
  double start = Now();
  Convert converter;
  std::optional<std::string> out = converter.ConvertProject(input);
  double seconds = Now() - start;
  if (!out) return 1;
  std::ifstream converted(*out, std::ios::binary | std::ios::ate);
  std::printf("%.6f %llu\n", seconds, static_cast<unsigned long long>(converted.tellg()));
  return 0;
}

// ---- the parent: generation, runs, report ----

struct Sample {
  double seconds = 0;
  double cpu_seconds = 0;
  std::uint64_t output_bytes = 0;
  std::uint64_t peak_rss = 0;
};

struct Summary {
  double seconds = 0;       // median wall time
  double cpu_seconds = 0;   // median user and system time
  double best_seconds = 0;  // the fastest run: the one least disturbed by others
  std::uint64_t output_bytes = 0;
  std::uint64_t peak_rss = 0;  // the largest of the runs
};

Summary Summarise(const std::vector<Sample>& samples) {
  Summary summary;
  std::vector<double> seconds;
  std::vector<double> cpu_seconds;
  for (const Sample& sample : samples) {
    seconds.push_back(sample.seconds);
    cpu_seconds.push_back(sample.cpu_seconds);
    summary.output_bytes = sample.output_bytes;
    if (sample.peak_rss > summary.peak_rss) summary.peak_rss = sample.peak_rss;
  }
  summary.seconds = Median(seconds);
  summary.cpu_seconds = Median(cpu_seconds);
  summary.best_seconds = seconds.empty() ? 0 : *std::min_element(seconds.begin(), seconds.end());
  return summary;
}

std::string SelfPath() {
  char path[4096];
  ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) throw std::runtime_error("cannot find kefbench's own path");
  return std::string(path, static_cast<std::size_t>(n));
}

Sample ParseChild(const ChildRun& run, const char* what) {
  Sample sample;
  unsigned long long bytes = 0;
  if (run.exit_status != 0 ||
      std::sscanf(run.output.c_str(), "%lf %llu", &sample.seconds, &bytes) != 2) {
    throw std::runtime_error(std::string(what) + " run failed");
  }
  sample.output_bytes = bytes;
  sample.cpu_seconds = run.cpu_seconds;
  sample.peak_rss = run.peak_rss;
  return sample;
}

class Bench {
 public:
  explicit Bench(const Settings& settings) : settings_(settings), self_(SelfPath()) {}

  Sample Library(const std::string& input) {
    Remove(ConvertedName(input));
    Settle();
    return ParseChild(RunChild({self_, "--measure-library", input}), "library");
  }
  Sample Baseline(const std::string& input, std::uint64_t output_bytes, bool whole_text) {
    std::string output = input + ".baseline";
    Remove(output);
    Settle();
    Sample sample =
        ParseChild(RunChild({self_, whole_text ? "--measure-one-write" : "--measure-baseline",
                             input, output, std::to_string(output_bytes)}),
                   "baseline");
    Remove(output);
    return sample;
  }
  Sample Tool(const std::string& input) {
    Remove(ConvertedName(input));
    Settle();
    ChildRun run = RunChild({settings_.tool, input});
    if (run.exit_status != 0) throw std::runtime_error("the kefconvert tool failed");
    Sample sample;
    sample.seconds = run.wall_seconds;
    sample.cpu_seconds = run.cpu_seconds;
    sample.peak_rss = run.peak_rss;
    std::ifstream converted(ConvertedName(input), std::ios::binary | std::ios::ate);
    sample.output_bytes = static_cast<std::uint64_t>(converted.tellg());
    return sample;
  }

  /// `cp` of `sources` to new files in `folder` (its files removed first).
  Sample Copy(const std::vector<std::string>& sources, const std::string& folder) {
    for (const std::string& source : sources) {
      Remove(folder + "/" + source.substr(source.rfind('/') + 1));
    }
    Settle();
    std::vector<std::string> argv = {"/bin/cp"};
    argv.insert(argv.end(), sources.begin(), sources.end());
    argv.push_back(folder);
    return Timed(RunChild(argv), "cp");
  }
  /// The tool on every file of `inputs` in one call; `fresh`: their converted files
  /// removed first, as `cp`'s copies are.
  Sample ToolOnAll(const std::vector<std::string>& inputs, bool fresh) {
    if (fresh) {
      for (const std::string& input : inputs) Remove(ConvertedName(input));
    }
    Settle();
    std::vector<std::string> argv = {settings_.tool};
    argv.insert(argv.end(), inputs.begin(), inputs.end());
    return Timed(RunChild(argv), "the kefconvert tool");
  }

  static std::string ConvertedName(const std::string& input) {
    return input.substr(0, input.size() - 4) + "_tmp.kef";
  }
  static void Remove(const std::string& path) { ::unlink(path.c_str()); }

  static Sample Timed(const ChildRun& run, const char* what) {
    if (run.exit_status != 0) throw std::runtime_error(std::string(what) + " failed");
    Sample sample;
    sample.seconds = run.wall_seconds;
    sample.cpu_seconds = run.cpu_seconds;
    sample.peak_rss = run.peak_rss;
    return sample;
  }

 private:
  // Lets the system finish with the previous run (its dirty pages written or dropped, its
  // freed memory returned) so that the next run does not pay for it.
  static void Settle() {
    ::sync();
    ::usleep(50 * 1000);
  }

 public:
 private:
  const Settings& settings_;
  std::string self_;
};

bool SameContent(const std::string& a, const std::string& b) {
  std::ifstream first(a, std::ios::binary);
  std::ifstream second(b, std::ios::binary);
  std::vector<char> x(1 << 20), y(1 << 20);
  for (;;) {
    first.read(x.data(), static_cast<std::streamsize>(x.size()));
    second.read(y.data(), static_cast<std::streamsize>(y.size()));
    if (first.gcount() != second.gcount()) return false;
    if (std::memcmp(x.data(), y.data(), static_cast<std::size_t>(first.gcount())) != 0) {
      return false;
    }
    if (first.gcount() == 0) return true;
  }
}

void PrintMachine() {
  std::string cpu = "unknown";
  std::ifstream info("/proc/cpuinfo");
  for (std::string line; std::getline(info, line);) {
    if (line.starts_with("model name")) {
      cpu = line.substr(line.find(':') + 2);
      break;
    }
  }
  utsname system{};
  ::uname(&system);
  double memory = static_cast<double>(::sysconf(_SC_PHYS_PAGES)) *
                  static_cast<double>(::sysconf(_SC_PAGESIZE)) / (1 << 30);
  std::string load;
  std::getline(std::ifstream("/proc/loadavg"), load);
  std::printf("machine: %s, %ld cores, %.0f GiB, %s %s; compiler %s, %s build\n", cpu.c_str(),
              ::sysconf(_SC_NPROCESSORS_ONLN), memory, system.sysname, system.release, __VERSION__,
              KEFBENCH_BUILD_TYPE);
  // others' work on the machine shows in wall times; the load says how much there was
  std::printf("load average at the start: %s\n", load.substr(0, load.find(' ', 15)).c_str());
}

void PrintHeader() {
  std::printf("  %-10s %8s %8s %8s %9s %9s %9s %10s %7s %7s\n", "", "wall s", "cpu s", "best s",
              "in MB/s", "out MB", "peak RSS", "x baseline", "(cpu)", "(best)");
}

void PrintRow(std::string_view kind, const Summary& row, double input_mb, const Summary& base) {
  std::printf("  %-10s %8.3f %8.3f %8.3f %9.1f %9.1f %6.1f MB %9.2fx %6.2fx %6.2fx\n",
              std::string(kind).c_str(), row.seconds, row.cpu_seconds, row.best_seconds,
              input_mb / row.seconds, static_cast<double>(row.output_bytes) / kMB,
              static_cast<double>(row.peak_rss) / kMB, row.seconds / base.seconds,
              row.cpu_seconds / base.cpu_seconds, row.best_seconds / base.best_seconds);
}

struct Target {
  std::string what;
  bool met;
};

struct SizeResult {
  double input_mb;
  Summary baseline, one_write, library, tool, cp;
};

std::vector<Target> CheckSize(const SizeResult& result) {
  std::vector<Target> targets;
  char line[200];
  for (const Summary* run : {&result.library, &result.tool}) {
    double to_cp = run->seconds / result.cp.seconds;
    std::snprintf(line, sizeof line,
                  "%.0f MB %s: %.2fx the time of cp of its output (<= 3); best %.2fx",
                  result.input_mb, run == &result.library ? "library" : "tool", to_cp,
                  run->best_seconds / result.cp.best_seconds);
    targets.push_back({line, to_cp <= 3.0});
    std::snprintf(line, sizeof line, "%.0f MB %s: peak RSS %.1f MB (<= 24 MiB, whatever the size)",
                  result.input_mb, run == &result.library ? "library" : "tool",
                  static_cast<double>(run->peak_rss) / kMB);
    targets.push_back({line, static_cast<double>(run->peak_rss) <= 24.0 * 1024 * 1024});
  }
  return targets;
}

SizeResult MeasureSize(Bench& bench, const Settings& settings, double mb) {
  std::string input = settings.dir + "/project-" + std::to_string(static_cast<int>(mb)) + "mb.kef";
  GeneratedProject project = GenerateProject(input, static_cast<std::uint64_t>(mb * kMB), 1);
  SizeResult result{static_cast<double>(project.bytes) / kMB, {}, {}, {}, {}, {}};
  std::printf("\n%.1f MB project: %u tables, %llu fields, %llu lines\n", result.input_mb,
              project.tables, static_cast<unsigned long long>(project.fields),
              static_cast<unsigned long long>(project.lines));

  // a first conversion warms the page cache and tells the baseline how much to write
  Sample warm = bench.Library(input);
  std::string library_output = input + ".library";
  std::rename(Bench::ConvertedName(input).c_str(), library_output.c_str());
  bench.Tool(input);
  if (!SameContent(library_output, Bench::ConvertedName(input))) {
    throw std::runtime_error("the library and the tool converted the project differently");
  }

  std::vector<Sample> baseline, one_write, library, tool, cp;
  for (int run = 0; run < settings.runs; ++run) {
    cp.push_back(bench.Copy({library_output}, settings.dir + "/copies"));
    baseline.push_back(bench.Baseline(input, warm.output_bytes, false));
    one_write.push_back(bench.Baseline(input, warm.output_bytes, true));
    library.push_back(bench.Library(input));
    tool.push_back(bench.Tool(input));
  }
  result.baseline = Summarise(baseline);
  result.one_write = Summarise(one_write);
  result.library = Summarise(library);
  result.tool = Summarise(tool);
  result.cp = Summarise(cp);
  Bench::Remove(library_output);
  Bench::Remove(settings.dir + "/copies/" + library_output.substr(library_output.rfind('/') + 1));
  PrintHeader();
  PrintRow("cp output", result.cp, result.input_mb, result.baseline);
  PrintRow("baseline", result.baseline, result.input_mb, result.baseline);
  PrintRow("one write", result.one_write, result.input_mb, result.baseline);
  PrintRow("library", result.library, result.input_mb, result.baseline);
  PrintRow("tool", result.tool, result.input_mb, result.baseline);
  if (!settings.keep) {
    Bench::Remove(input);
    Bench::Remove(Bench::ConvertedName(input));
  }
  return result;
}

// Many small projects in one call of the tool, against cp of the same files.
Target MeasureBatch(Bench& bench, const Settings& settings) {
  std::string folder = settings.dir + "/batch";
  ::mkdir(folder.c_str(), 0777);
  std::vector<std::string> inputs;
  std::uint64_t bytes = 0;
  for (int i = 0; i < settings.batch; ++i) {
    inputs.push_back(folder + "/p" + std::to_string(i) + ".kef");
    bytes += GenerateProject(inputs.back(), 6000 + static_cast<std::uint64_t>(i % 7) * 1500,
                             static_cast<std::uint64_t>(i) + 1)
                 .bytes;
  }
  bench.ToolOnAll(inputs, false);  // warms the cache
  std::vector<Sample> tool, rerun, cp;
  for (int run = 0; run < settings.runs; ++run) {
    cp.push_back(bench.Copy(inputs, settings.dir + "/copies"));
    tool.push_back(bench.ToolOnAll(inputs, true));
    rerun.push_back(bench.ToolOnAll(inputs, false));
  }
  Summary tool_summary = Summarise(tool);
  Summary rerun_summary = Summarise(rerun);
  Summary cp_summary = Summarise(cp);
  std::printf(
      "\n%d projects of %.1f KB on average: tool %.3f s (%.3f s replacing the converted files "
      "of a run before), cp to new files %.3f s\n",
      settings.batch, static_cast<double>(bytes) / settings.batch / 1000, tool_summary.seconds,
      rerun_summary.seconds, cp_summary.seconds);
  if (!settings.keep) {
    for (const std::string& input : inputs) {
      Bench::Remove(input);
      Bench::Remove(Bench::ConvertedName(input));
      Bench::Remove(settings.dir + "/copies/" + input.substr(input.rfind('/') + 1));
    }
    ::rmdir(folder.c_str());
  }
  char text[200];
  double ratio = tool_summary.seconds / cp_summary.seconds;
  std::snprintf(text, sizeof text, "%d small projects: %.2fx the time of cp of them (<= 1.1)",
                settings.batch, ratio);
  return {text, ratio <= 1.1};
}

Target MeasureManyTables(Bench& bench, const Settings& settings) {
  std::string input = settings.dir + "/tables.kef";
  GeneratedProject project = GenerateManyTables(input, settings.tables);
  std::vector<Sample> samples;
  for (int run = 0; run < settings.runs; ++run) samples.push_back(bench.Library(input));
  Summary summary = Summarise(samples);
  std::printf(
      "\n%u tables after one database marker (%.1f MB): %.3f s, %.1f MB out, "
      "%.1f MB peak RSS\n",
      project.tables, static_cast<double>(project.bytes) / kMB, summary.seconds,
      static_cast<double>(summary.output_bytes) / kMB, static_cast<double>(summary.peak_rss) / kMB);
  if (!settings.keep) {
    Bench::Remove(input);
    Bench::Remove(Bench::ConvertedName(input));
  }
  char text[200];
  std::snprintf(text, sizeof text, "%u tables: %.3f s (well under a second: <= 0.25)",
                project.tables, summary.seconds);
  return {text, summary.seconds <= 0.25};
}

bool ParseArguments(int argc, char** argv, Settings& settings) {
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    bool has_value = i + 1 < argc;
    if (arg == "--mb" && has_value) {
      settings.sizes_mb.push_back(std::atof(argv[++i]));
    } else if (arg == "--runs" && has_value) {
      settings.runs = std::atoi(argv[++i]);
    } else if (arg == "--tables" && has_value) {
      settings.tables = static_cast<std::uint32_t>(std::atol(argv[++i]));
    } else if (arg == "--batch" && has_value) {
      settings.batch = std::atoi(argv[++i]);
    } else if (arg == "--dir" && has_value) {
      settings.dir = argv[++i];
    } else if (arg == "--tool" && has_value) {
      settings.tool = argv[++i];
    } else if (arg == "--check") {
      settings.check = true;
    } else if (arg == "--keep") {
      settings.keep = true;
    } else {
      return false;
    }
  }
  if (settings.sizes_mb.empty()) settings.sizes_mb = {10, 100};
  for (double mb : settings.sizes_mb) {
    if (!(mb > 0)) return false;
  }
  return settings.runs > 0 && settings.tables <= 32767;
}

int Main(int argc, char** argv) {
  if (argc == 5 && std::string_view(argv[1]) == "--measure-baseline") {
    return MeasureBaseline(argv[2], argv[3], std::strtoull(argv[4], nullptr, 10), false);
  }
  if (argc == 5 && std::string_view(argv[1]) == "--measure-one-write") {
    return MeasureBaseline(argv[2], argv[3], std::strtoull(argv[4], nullptr, 10), true);
  }
  if (argc == 3 && std::string_view(argv[1]) == "--measure-library") {
    return MeasureLibrary(argv[2]);
  }
  if (argc == 2 && std::string_view(argv[1]) == "--help") {
    std::cout << kUsage;
    return 0;
  }
  Settings settings;
  if (!ParseArguments(argc, argv, settings)) {
    std::cerr << kUsage;
    return 64;
  }
  std::string made_dir;
  if (settings.dir.empty()) {
    char pattern[] = "/tmp/kefbench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("cannot make a folder");
    settings.dir = made_dir = pattern;
  }
  PrintMachine();
  std::printf(
      "median of %d runs, each in a process of its own; baseline: read the input "
      "and write the output's size, in 1 MiB blocks; one write: the same, with the "
      "output made in memory first and written at once\n",
      settings.runs);
  std::fflush(stdout);

  ::mkdir((settings.dir + "/copies").c_str(), 0777);
  Bench bench(settings);
  std::vector<Target> targets;
  std::vector<SizeResult> results;
  for (double mb : settings.sizes_mb) {
    results.push_back(MeasureSize(bench, settings, mb));
    for (Target& target : CheckSize(results.back())) targets.push_back(target);
    std::fflush(stdout);
  }
  if (results.size() >= 2) {
    const SizeResult& small = results.front();
    const SizeResult& large = results.back();
    double size_ratio = large.input_mb / small.input_mb;
    double time_ratio = large.library.seconds / small.library.seconds;
    char text[200];
    std::snprintf(text, sizeof text,
                  "linear: %.0f MB takes %.2fx the time of %.0f MB (<= 1.1 x %.1f = %.1f); "
                  "cpu %.2fx",
                  large.input_mb, time_ratio, small.input_mb, size_ratio, 1.1 * size_ratio,
                  large.library.cpu_seconds / small.library.cpu_seconds);
    targets.push_back({text, time_ratio <= 1.1 * size_ratio});
  }
  if (settings.tables > 0) targets.push_back(MeasureManyTables(bench, settings));
  if (settings.batch > 0) targets.push_back(MeasureBatch(bench, settings));
  if (!settings.keep) ::rmdir((settings.dir + "/copies").c_str());
  if (!made_dir.empty() && !settings.keep) ::rmdir(made_dir.c_str());

  bool all_met = true;
  std::printf("\ntargets:\n");
  for (const Target& target : targets) {
    std::printf("  %-4s %s\n", target.met ? "met" : "MISS", target.what.c_str());
    all_met = all_met && target.met;
  }
  return settings.check && !all_met ? 1 : 0;
}

}  // namespace
}  // namespace kefconvert::bench

int main(int argc, char** argv) {
  try {
    return kefconvert::bench::Main(argc, argv);
  } catch (const std::exception& error) {
    std::cerr << "kefbench: " << error.what() << '\n';
    return 2;
  }
}
