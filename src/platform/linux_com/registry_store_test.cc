#include "platform/linux_com/registry_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "component/com_test_support.h"
#include "support/temp_dir.h"

namespace kefconvert::linux_com {
namespace {

using testing::FileExists;
using testing::ReadFile;
using testing::ScopedEnv;
using testing::TempDir;

constexpr char kOtherServer[] =
    "REGEDIT4\n"
    "\n"
    "[HKEY_CLASSES_ROOT\\Other.Thing\\CLSID]\n"
    "@=\"{11111111-2222-3333-4444-555555555555}\"\n"
    "; kept as written\n"
    "\"Count\"=dword:00000002\n"
    "\n"
    "[HKEY_CLASSES_ROOT\\KEFConvert.Convert2]\n"
    "@=\"not ours\"\n";

RegistryStore Parsed(std::string_view text) {
  std::optional<RegistryStore> store = RegistryStore::Parse(text);
  EXPECT_TRUE(store.has_value());
  return store.value_or(RegistryStore());
}

TEST(RegistryStoreParse, RequiresTheRegedit4Header) {
  EXPECT_FALSE(RegistryStore::Parse("[HKEY_CLASSES_ROOT\\A]\n@=\"x\"\n"));
  EXPECT_FALSE(RegistryStore::Parse("Windows Registry Editor Version 5.00\n"));
  EXPECT_TRUE(RegistryStore::Parse(""));
  EXPECT_TRUE(RegistryStore::Parse("\r\nREGEDIT4\r\n"));
}

TEST(RegistryStoreParse, ReadsDefaultAndNamedStringValues) {
  RegistryStore store = Parsed(
      "REGEDIT4\r\n\r\n[HKEY_CLASSES_ROOT\\A\\B]\r\n@=\"default\"\r\n\"Name\"=\"named\"\r\n");
  EXPECT_EQ(store.Value("HKEY_CLASSES_ROOT\\A\\B", ""), "default");
  EXPECT_EQ(store.Value("HKEY_CLASSES_ROOT\\A\\B", "Name"), "named");
  EXPECT_FALSE(store.Value("HKEY_CLASSES_ROOT\\A\\B", "Other"));
  EXPECT_FALSE(store.Value("HKEY_CLASSES_ROOT\\A", ""));
}

TEST(RegistryStoreParse, ComparesKeysAndNamesWithoutCase) {
  RegistryStore store = Parsed(kOtherServer);
  EXPECT_EQ(store.Value("hkey_classes_root\\other.thing\\clsid", ""),
            "{11111111-2222-3333-4444-555555555555}");
}

TEST(RegistryStoreParse, GivesNoStringForOtherValueTypes) {
  RegistryStore store = Parsed(kOtherServer);
  EXPECT_FALSE(store.Value("HKEY_CLASSES_ROOT\\Other.Thing\\CLSID", "Count"));
}

TEST(RegistryStoreText, KeepsWhatItDidNotWrite) {
  RegistryStore store = Parsed(kOtherServer);
  EXPECT_EQ(store.Text(), kOtherServer);
}

TEST(RegistryStoreSetValue, EscapesBackslashesAndQuotes) {
  RegistryStore store;
  store.SetValue("HKEY_CLASSES_ROOT\\A", "", "C:\\dir\\\"x\"");
  EXPECT_EQ(store.Text(), "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\A]\n@=\"C:\\\\dir\\\\\\\"x\\\"\"\n");
  EXPECT_EQ(Parsed(store.Text()).Value("HKEY_CLASSES_ROOT\\A", ""), "C:\\dir\\\"x\"");
}

TEST(RegistryStoreSetValue, RefusesLineBreaks) {
  RegistryStore store = Parsed(kOtherServer);
  EXPECT_FALSE(store.SetValue("HKEY_CLASSES_ROOT\\A", "", "/lib\n/libKEFConvert.so"));
  EXPECT_FALSE(store.SetValue("HKEY_CLASSES_ROOT\\A", "Name\r", "x"));
  EXPECT_FALSE(store.SetValue("HKEY_CLASSES_ROOT\\A\nB", "", "x"));
  EXPECT_EQ(store.Text(), kOtherServer);
}

TEST(RegistryStoreText, KeepsCommentsAndBlankLinesBeforeTheFirstKey) {
  constexpr char kCommented[] =
      "REGEDIT4\n"
      "; written by the administrator\n"
      "\n"
      "; keep this file\n"
      "\n"
      "[HKEY_CLASSES_ROOT\\A]\n"
      "@=\"x\"\n";
  RegistryStore store = Parsed(kCommented);
  EXPECT_EQ(store.Text(), kCommented);
  store.RemoveTree("HKEY_CLASSES_ROOT\\A");
  EXPECT_EQ(store.Text(), "REGEDIT4\n; written by the administrator\n\n; keep this file\n");
}

TEST(RegistryStoreSetValue, ReplacesAValueOfTheSameName) {
  RegistryStore store = Parsed(kOtherServer);
  store.SetValue("HKEY_CLASSES_ROOT\\OTHER.THING\\CLSID", "", "{new}");
  EXPECT_EQ(store.Value("HKEY_CLASSES_ROOT\\Other.Thing\\CLSID", ""), "{new}");
  EXPECT_EQ(store.Text().find("555555555555"), std::string::npos);
  EXPECT_NE(store.Text().find("\"Count\"=dword:00000002"), std::string::npos);
}

TEST(RegistryStoreRemoveTree, RemovesTheKeyAndWhatIsBelowIt) {
  RegistryStore store = Parsed(kOtherServer);
  store.SetValue("HKEY_CLASSES_ROOT\\KEFConvert.Convert", "", "KEFConvert.Convert");
  store.SetValue("HKEY_CLASSES_ROOT\\KEFConvert.Convert\\CLSID", "", "{x}");
  EXPECT_TRUE(store.HasKey("HKEY_CLASSES_ROOT\\KEFConvert.Convert"));
  store.RemoveTree("HKEY_CLASSES_ROOT\\kefconvert.convert");
  EXPECT_FALSE(store.HasKey("HKEY_CLASSES_ROOT\\KEFConvert.Convert"));
  EXPECT_EQ(store.Text(), kOtherServer);  // KEFConvert.Convert2 is another key
}

TEST(RegistryStoreHasKey, SeesKeysThatOnlyHaveSubkeys) {
  RegistryStore store = Parsed(kOtherServer);
  EXPECT_TRUE(store.HasKey("HKEY_CLASSES_ROOT\\Other.Thing"));
  EXPECT_FALSE(store.HasKey("HKEY_CLASSES_ROOT\\Other"));
}

TEST(RegistryStoreRemoveIfEmpty, KeepsKeysWithValuesOrSubkeys) {
  RegistryStore store = Parsed(
      "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\T]\n\n[HKEY_CLASSES_ROOT\\T\\1.0]\n@=\"x\"\n"
      "\n[HKEY_CLASSES_ROOT\\U]\n");
  store.RemoveIfEmpty("HKEY_CLASSES_ROOT\\T");
  store.RemoveIfEmpty("HKEY_CLASSES_ROOT\\T\\1.0");
  EXPECT_TRUE(store.HasKey("HKEY_CLASSES_ROOT\\T"));
  EXPECT_TRUE(store.HasKey("HKEY_CLASSES_ROOT\\T\\1.0"));
  store.RemoveIfEmpty("HKEY_CLASSES_ROOT\\U");
  EXPECT_FALSE(store.HasKey("HKEY_CLASSES_ROOT\\U"));
}

TEST(SaveStore, CreatesTheFolderAndLeavesNoTemporaryFile) {
  TempDir dir;
  std::string path = dir.File("a/b/registry.reg");
  RegistryStore store;
  store.SetValue("HKEY_CLASSES_ROOT\\A", "", "x");
  ASSERT_TRUE(SaveStore(path, store, nullptr));
  EXPECT_EQ(ReadFile(path), store.Text());
  auto entries = std::distance(std::filesystem::directory_iterator(dir.File("a/b")),
                               std::filesystem::directory_iterator());
  EXPECT_EQ(entries, 1);
}

TEST(SaveStore, ReplacesTheOldStoreWhole) {
  TempDir dir;
  std::string path = dir.Write("registry.reg", kOtherServer);
  std::optional<RegistryStore> store = LoadStore(path, nullptr);
  ASSERT_TRUE(store);
  store->RemoveTree("HKEY_CLASSES_ROOT\\Other.Thing");
  ASSERT_TRUE(SaveStore(path, *store, nullptr));
  EXPECT_EQ(ReadFile(path),
            "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\KEFConvert.Convert2]\n@=\"not ours\"\n");
}

TEST(SaveStore, ReportsAFolderItCannotCreate) {
  TempDir dir;
  std::string blocker = dir.Write("file", "");
  std::string error;
  EXPECT_FALSE(SaveStore(blocker + "/registry.reg", RegistryStore(), &error));
  EXPECT_FALSE(error.empty());
}

TEST(SaveStore, KeepsTheFilesPermissions) {
  TempDir dir;
  std::string path = dir.Write("registry.reg", kOtherServer);
  ASSERT_EQ(chmod(path.c_str(), 0600), 0);
  ASSERT_TRUE(SaveStore(path, Parsed(kOtherServer), nullptr));
  struct stat info;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
}

TEST(SaveStore, WritesThroughASymbolicLinkToItsTarget) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("real"));
  std::string target = dir.Write("real/registry.reg", "REGEDIT4\n");
  std::string link = dir.File("registry.reg");
  std::filesystem::create_symlink("real/registry.reg", link);
  RegistryStore store;
  store.SetValue("HKEY_CLASSES_ROOT\\A", "", "x");
  ASSERT_TRUE(SaveStore(link, store, nullptr));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadFile(target), store.Text());
}

TEST(UpdateStore, SavesOnlyWhatTheChangeAsksFor) {
  TempDir dir;
  std::string path = dir.Write("registry.reg", kOtherServer);
  ASSERT_TRUE(UpdateStore(
      path, [](RegistryStore& store) { return store.SetValue("HKEY_CLASSES_ROOT\\A", "", "x"); },
      nullptr));
  EXPECT_EQ(Parsed(ReadFile(path)).Value("HKEY_CLASSES_ROOT\\A", ""), "x");
  std::string saved = ReadFile(path);
  ASSERT_TRUE(UpdateStore(
      path,
      [](RegistryStore& store) {
        store.RemoveTree("HKEY_CLASSES_ROOT\\A");
        return false;
      },
      nullptr));
  EXPECT_EQ(ReadFile(path), saved);
  EXPECT_TRUE(FileExists(path + ".lock"));
}

TEST(UpdateStore, RefusesAFileThatIsNoStore) {
  TempDir dir;
  std::string path = dir.Write("registry.reg", "hello\n");
  std::string error;
  EXPECT_FALSE(UpdateStore(
      path, [](RegistryStore&) { return true; }, &error));
  EXPECT_EQ(ReadFile(path), "hello\n");
  EXPECT_NE(error.find("REGEDIT4"), std::string::npos);
}

// Writers in separate processes, each adding its keys one update at a time: without the
// lock, one writer's save replaces a store another has just read, and keys go missing.
TEST(UpdateStore, ConcurrentWritersLoseNoKey) {
  constexpr int kWriters = 5;
  constexpr int kKeysEach = 12;
  TempDir dir;
  std::string path = dir.File("store/registry.reg");
  std::vector<pid_t> writers;
  for (int w = 0; w < kWriters; ++w) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      bool all = true;
      for (int k = 0; k < kKeysEach; ++k) {
        std::string key = "HKEY_CLASSES_ROOT\\W" + std::to_string(w) + "\\K" + std::to_string(k);
        all = UpdateStore(
                  path, [&](RegistryStore& store) { return store.SetValue(key, "", "x"); },
                  nullptr) &&
              all;
      }
      _exit(all ? 0 : 1);
    }
    writers.push_back(pid);
  }
  for (pid_t pid : writers) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  RegistryStore store = Parsed(ReadFile(path));
  int found = 0;
  for (int w = 0; w < kWriters; ++w) {
    for (int k = 0; k < kKeysEach; ++k) {
      std::string key = "HKEY_CLASSES_ROOT\\W" + std::to_string(w) + "\\K" + std::to_string(k);
      if (store.Value(key, "")) ++found;
    }
  }
  EXPECT_EQ(found, kWriters * kKeysEach);
}

TEST(LoadStore, GivesAnEmptyStoreForAMissingFile) {
  TempDir dir;
  std::optional<RegistryStore> store = LoadStore(dir.File("none.reg"), nullptr);
  ASSERT_TRUE(store);
  EXPECT_EQ(store->Text(), "REGEDIT4\n");
}

TEST(LoadStore, RefusesAFileThatIsNoStore) {
  TempDir dir;
  std::string error;
  EXPECT_FALSE(LoadStore(dir.Write("x.reg", "hello\n"), &error));
  EXPECT_NE(error.find("REGEDIT4"), std::string::npos);
}

TEST(DefaultStorePath, PrefersKefconvertRegistry) {
  ScopedEnv registry("KEFCONVERT_REGISTRY", "/tmp/r.reg");
  ScopedEnv data("XDG_DATA_HOME", "/data");
  EXPECT_EQ(DefaultStorePath(), "/tmp/r.reg");
}

TEST(DefaultStorePath, FallsBackToTheDataHomeThenTheHomeFolder) {
  ScopedEnv registry("KEFCONVERT_REGISTRY", std::nullopt);
  ScopedEnv home("HOME", "/home/u");
  {
    ScopedEnv data("XDG_DATA_HOME", "/data");
    EXPECT_EQ(DefaultStorePath(), "/data/kefconvert/registry.reg");
  }
  ScopedEnv data("XDG_DATA_HOME", std::nullopt);
  EXPECT_EQ(DefaultStorePath(), "/home/u/.local/share/kefconvert/registry.reg");
}

}  // namespace
}  // namespace kefconvert::linux_com
