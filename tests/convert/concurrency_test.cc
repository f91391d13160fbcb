// Separate converters share nothing: several threads, each with its own Convert object and
// its own files, must give exactly what the same work gives done one after another.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "kefconvert/kefconvert.h"
#include "support/temp_dir.h"

namespace kefconvert {
namespace {

using testing::ReadFile;
using testing::TempDir;

constexpr int kThreads = 6;
constexpr int kFilesPerThread = 12;

// What one conversion gave: the converted text, "(no result)", or the error.
std::string Outcome(Convert& converter, const std::string& path) {
  try {
    std::optional<std::string> result = converter.ConvertProject(path);
    return result ? ReadFile(*result) : "(no result)";
  } catch (const Error& error) {
    return "error " + std::to_string(error.number()) + " line " + std::to_string(error.line());
  }
}

// A project that differs with `thread` and `file`. Its first field has no "Type" line, so it
// takes the field type state that the object's previous conversion left behind: a state
// shared between objects would show up in the results.
std::string ProjectText(int thread, int file) {
  std::string text = "<Project>\r\nName=p" + std::to_string(thread) + "_" + std::to_string(file) +
                     "\r\nSecTbl=users\r\nSecUserIDFld=login\r\n<Database>\r\nName=\r\n"
                     "PhyPath=C:\\data\\db" +
                     std::to_string(thread) + ".mdb\r\n";
  constexpr const char* kTypes[] = {"3", "202", "7", "11", "135", "200", "5", "72"};
  int tables = 1 + (thread + file) % 4;
  for (int t = 0; t < tables; ++t) {
    text += "<Table>\r\nName=" + std::string(t == 1 ? "users" : std::string("t") + std::to_string(t)) + "\r\n";
    text += "TblSQL=SELECT *\r\nFROM t" + std::to_string(t) + "\r\nTblError=0\r\n";
    int fields = (thread * 7 + file * 3 + t) % 5;
    for (int f = 0; f < fields; ++f) {
      text += "<Field>\r\nName=" + std::string(f == 0 ? "login" : "f\xe9 " + std::to_string(f)) +
              "\r\n";
      if (t + f > 0) text += "Type=" + std::string(kTypes[(thread + file + f) % 8]) + "\r\n";
    }
  }
  // every fifth file fails on its last line; the state it changed before stays
  if ((thread + file) % 5 == 4) text += "<Table>\r\n<Field>\r\nType=3.x\r\n";
  return text;
}

struct Work {
  std::vector<std::string> paths;     // one thread's files, converted in this order
  std::vector<std::string> outcomes;  // what each gave
};

void ConvertAll(Work& work) {
  Convert converter;  // one object for all of a thread's files, so state carries over
  work.outcomes.clear();
  for (const std::string& path : work.paths) work.outcomes.push_back(Outcome(converter, path));
}

TEST(Concurrency, SeparateConvertersOnThreadsMatchOneAfterAnother) {
  TempDir dir;
  std::vector<Work> work(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    for (int f = 0; f < kFilesPerThread; ++f) {
      std::string name = std::string("t") + std::to_string(t) + "_" + std::to_string(f) + ".kef";
      work[t].paths.push_back(dir.Write(name, ProjectText(t, f)));
    }
  }

  for (Work& w : work) ConvertAll(w);
  std::vector<Work> sequential = work;

  // the same work again, all threads at once, after the converted files are gone
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    if (entry.path().string().ends_with("_tmp.kef")) std::filesystem::remove(entry.path());
  }
  std::vector<std::thread> threads;
  for (Work& w : work) threads.emplace_back(ConvertAll, std::ref(w));
  for (std::thread& thread : threads) thread.join();

  int failures = 0;
  for (int t = 0; t < kThreads; ++t) {
    for (int f = 0; f < kFilesPerThread; ++f) {
      EXPECT_EQ(work[t].outcomes[f], sequential[t].outcomes[f]) << work[t].paths[f];
      if (work[t].outcomes[f].starts_with("error")) ++failures;
    }
  }
  // the mix holds failures as well as conversions
  EXPECT_GT(failures, 0);
  EXPECT_LT(failures, kThreads * kFilesPerThread);
}

TEST(Concurrency, FieldTypeStateCarriesOverWithinOneObjectOnly) {
  // the work above relies on this: the first field of a file without "Type" line inherits
  TempDir dir;
  std::string typed =
      dir.Write("a.kef", "<Project>\r\n<Database>\r\n<Table>\r\n<Field>\r\nType=202\r\n");
  std::string untyped =
      dir.Write("b.kef", "<Project>\r\n<Database>\r\n<Table>\r\n<Field>\r\nName=x\r\n");
  Convert first;
  Convert second;
  Outcome(first, typed);
  std::string inherited = Outcome(first, untyped);
  std::string fresh = Outcome(second, untyped);
  EXPECT_NE(inherited, fresh);
  EXPECT_NE(inherited.find("FldQuoteS=\"'\""), std::string::npos);
  EXPECT_NE(fresh.find("FldQuoteS=\"\""), std::string::npos);
}

}  // namespace
}  // namespace kefconvert
