// Registration and activation with the built libKEFConvert.so, loaded as hosts load it.
#include "platform/linux_com/activation.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "component/com_test_support.h"
#include "component/kefconvert_com.h"
#include "platform/linux_com/registry_store.h"
#include "support/temp_dir.h"

namespace kefconvert::linux_com {
namespace {

using testing::ComPtr;
using testing::ReadFile;
using testing::ScopedEnv;
using testing::TempDir;
using testing::Text;
using testing::UniqueVariant;
using testing::Utf8;

constexpr char kLibrary[] = KEFCONVERT_COMPONENT_LIBRARY;
constexpr char kOtherEntries[] =
    "REGEDIT4\n"
    "\n"
    "[HKEY_CLASSES_ROOT\\Other.Thing\\CLSID]\n"
    "@=\"{11111111-2222-3333-4444-555555555555}\"\n"
    "\n"
    "[HKEY_CLASSES_ROOT\\TypeLib\\{885579CE-7926-4AF9-84F4-425DEC5ACFAA}\\1.0]\n"
    "@=\"an older version\"\n";

class ActivationTest : public ::testing::Test {
 protected:
  ActivationTest()
      : store_path_(dir_.Write("registry.reg", kOtherEntries)),
        registry_("KEFCONVERT_REGISTRY", store_path_) {}

  // Converts `file` through a KEFConvert.Convert object created by `class_name`.
  HRESULT ConvertThrough(Activator& activator, const char* class_name, const std::string& file,
                         UniqueVariant& result) {
    ComPtr<IDispatch> converter;
    HRESULT status = activator.CreateInstance(class_name, IID_IDispatch, converter.put_void());
    if (FAILED(status)) return status;
    testing::UniqueBstr path = testing::Bstr(file);
    VARIANTARG argument;
    V_VT(&argument) = VT_BSTR;
    V_BSTR(&argument) = path.get();
    DISPPARAMS params{&argument, nullptr, 1, 0};
    return converter->Invoke(DISPID_ConvertProject, IID_NULL, 0, DISPATCH_METHOD, &params,
                             result.get(), nullptr, nullptr);
  }

  TempDir dir_;
  std::string store_path_;
  ScopedEnv registry_;
};

TEST_F(ActivationTest, CreatesTheRegisteredClassByProgIdAndByClsid) {
  ASSERT_EQ(Activator::RegisterLibrary(kLibrary, true), S_OK);
  std::string project = dir_.Write("shop.kef", "<Project>\r\nName=Shop\r\n<Database>\r\n");
  Activator activator(store_path_);
  UniqueVariant by_prog_id;
  ASSERT_EQ(ConvertThrough(activator, "KEFConvert.Convert", project, by_prog_id), S_OK);
  EXPECT_EQ(Text(by_prog_id), dir_.File("shop_tmp.kef"));
  UniqueVariant by_clsid;
  ASSERT_EQ(ConvertThrough(activator, "{4086ab62-87e5-49eb-afdc-30e58a63b0cf}", project, by_clsid),
            S_OK);
  EXPECT_EQ(Text(by_clsid), dir_.File("shop_tmp.kef"));
}

TEST_F(ActivationTest, RegistrationNamesTheLibrarysAbsolutePath) {
  ASSERT_EQ(Activator::RegisterLibrary(kLibrary, true), S_OK);
  std::optional<RegistryStore> store = LoadStore(store_path_, nullptr);
  ASSERT_TRUE(store);
  std::string server =
      "HKEY_CLASSES_ROOT\\CLSID\\{4086AB62-87E5-49EB-AFDC-30E58A63B0CF}\\InprocServer32";
  std::optional<std::string> path = store->Value(server, "");
  ASSERT_TRUE(path);
  EXPECT_TRUE(path->starts_with("/"));
  EXPECT_TRUE(path->ends_with("/libKEFConvert.so"));
  EXPECT_EQ(store->Value(server, "ThreadingModel"), "Apartment");
}

TEST_F(ActivationTest, RegisteringTwiceWritesTheEntriesOnce) {
  ASSERT_EQ(Activator::RegisterLibrary(kLibrary, true), S_OK);
  std::string once = ReadFile(store_path_);
  ASSERT_EQ(Activator::RegisterLibrary(kLibrary, true), S_OK);
  EXPECT_EQ(ReadFile(store_path_), once);
}

TEST_F(ActivationTest, UnregisteringRemovesExactlyTheComponentsEntries) {
  ASSERT_EQ(Activator::RegisterLibrary(kLibrary, true), S_OK);
  ASSERT_EQ(Activator::RegisterLibrary(kLibrary, false), S_OK);
  EXPECT_EQ(ReadFile(store_path_), kOtherEntries);
  Activator activator(store_path_);
  ComPtr<IUnknown> object;
  EXPECT_EQ(activator.CreateInstance("KEFConvert.Convert", IID_IUnknown, object.put_void()),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(activator.CreateInstance("{4086AB62-87E5-49EB-AFDC-30E58A63B0CF}", IID_IUnknown,
                                     object.put_void()),
            REGDB_E_CLASSNOTREG);
}

TEST_F(ActivationTest, RemovesTheTypeLibraryKeyWithItsLastVersion) {
  dir_.Write("registry.reg", "REGEDIT4\n");
  ASSERT_EQ(Activator::RegisterLibrary(kLibrary, true), S_OK);
  ASSERT_EQ(Activator::RegisterLibrary(kLibrary, false), S_OK);
  EXPECT_EQ(ReadFile(store_path_), "REGEDIT4\n");
}

TEST_F(ActivationTest, RefusesToRegisterIntoAFileThatIsNoStore) {
  dir_.Write("registry.reg", "not a registry\n");
  EXPECT_EQ(Activator::RegisterLibrary(kLibrary, true), SELFREG_E_CLASS);
  EXPECT_EQ(ReadFile(store_path_), "not a registry\n");
}

TEST_F(ActivationTest, RefusesALibraryPathWithALineBreak) {
  std::filesystem::create_directory(dir_.File("a\nb"));
  std::string copy = dir_.File("a\nb/libKEFConvert.so");
  std::filesystem::copy_file(kLibrary, copy);
  EXPECT_EQ(Activator::RegisterLibrary(copy, true), E_INVALIDARG);
  EXPECT_EQ(ReadFile(store_path_), kOtherEntries);
}

TEST_F(ActivationTest, ReportsALibraryThatDoesNotLoad) {
  dir_.Write("registry.reg",
             "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\Gone.Thing\\CLSID]\n"
             "@=\"{11111111-2222-3333-4444-555555555555}\"\n\n"
             "[HKEY_CLASSES_ROOT\\CLSID\\{11111111-2222-3333-4444-555555555555}\\InprocServer32]\n"
             "@=\"" +
                 dir_.File("gone.so") + "\"\n");
  Activator activator(store_path_);
  ComPtr<IUnknown> object;
  EXPECT_EQ(activator.CreateInstance("Gone.Thing", IID_IUnknown, object.put_void()),
            HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(Activator::RegisterLibrary(dir_.File("gone.so"), true),
            HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
}

}  // namespace
}  // namespace kefconvert::linux_com
