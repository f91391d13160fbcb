#include "platform/linux_com/registry_store.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "component/com_test_support.h"
#include "support/temp_dir.h"

namespace kefconvert::linux_com {
namespace {

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
