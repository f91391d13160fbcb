// Every way a conversion can fail, provoked on real files or through a file layer that
// fails on purpose. Each failure must come out as the documented error (number, exact
// description, the line where one applies), leave the project file byte for byte as it
// was, and leave the converted file absent or empty, never partly written.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "convert/converter.h"
#include "convert/file_layer.h"
#include "kefconvert/kefconvert.h"
#include "support/temp_dir.h"

namespace kefconvert {
namespace {

using testing::ReadFile;
using testing::TempDir;

// ---- what a failure must leave behind

enum class Left { kNothing, kEmptyFile };

struct Expected {
  int number;
  std::string_view description;
  std::int64_t line;  // 0: no line applies
};

std::optional<std::string> ContentOf(const std::string& path) {
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0) return std::nullopt;
  if (!S_ISREG(info.st_mode)) return "(not a regular file)";
  return ReadFile(path);
}

// Converts `project` with `converter`, expecting it to fail as `expected`.
template <typename Converter>
void ExpectError(Converter& converter, const std::string& project, const Expected& expected) {
  try {
    std::optional<std::string> result = converter.ConvertProject(project);
    ADD_FAILURE() << "converted to " << result.value_or("(no result)") << ", expected error "
                  << expected.number;
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), expected.number);
    EXPECT_EQ(error.description(), expected.description);
    EXPECT_EQ(error.line(), expected.line);
  }
}

// Checks that the project file still holds `before` and what is left of the converted file.
void ExpectLeft(const std::string& project, const std::optional<std::string>& before,
                const std::string& converted, Left left) {
  EXPECT_EQ(ContentOf(project), before) << "the project file changed";
  std::optional<std::string> after = ContentOf(converted);
  if (left == Left::kNothing) {
    EXPECT_EQ(after, std::nullopt) << "a converted file was created";
  } else {
    EXPECT_EQ(after, std::string()) << "the converted file is not empty";
  }
}

template <typename Converter>
void ExpectFailure(Converter& converter, const std::string& project, const std::string& converted,
                   const Expected& expected, Left left) {
  std::optional<std::string> before = ContentOf(project);
  ExpectError(converter, project, expected);
  ExpectLeft(project, before, converted, left);
}

void ExpectFailure(const std::string& project, const std::string& converted,
                   const Expected& expected, Left left) {
  Convert converter;
  ExpectFailure(converter, project, converted, expected, left);
}

// A project folder with one project file "p.kef", converted to "p_tmp.kef".
struct Project {
  explicit Project(std::string_view text) : path(dir.Write("p.kef", text)) {}
  TempDir dir;
  std::string path;
  std::string converted = dir.File("p_tmp.kef");
};

// ---- rights: as root, permissions do not bite, so the test acts as an ordinary user

class WithoutRootRights {
 public:
  WithoutRootRights() {
    if (::geteuid() != 0) return;
    dropped_ = ::setegid(kNobody) == 0 && ::seteuid(kNobody) == 0;
    possible_ = dropped_;
  }
  WithoutRootRights(const WithoutRootRights&) = delete;
  WithoutRootRights& operator=(const WithoutRootRights&) = delete;
  ~WithoutRootRights() {
    if (dropped_) {
      EXPECT_EQ(::seteuid(0), 0);
      EXPECT_EQ(::setegid(0), 0);
    }
  }
  /// False when running as root and rights could not be dropped.
  bool possible() const { return possible_; }

 private:
  static constexpr uid_t kNobody = 65534;
  bool dropped_ = false;
  bool possible_ = true;
};

// ---- a file layer that fails on purpose, around the real one

enum class WriteFault { kNone, kDiskFullHalfway, kDeviceErrorHalfway, kCloseFails };

class FaultyFileSystem final : public detail::FileSystem {
 public:
  /// Reads fail once this many bytes have been read.
  std::optional<std::size_t> fail_reading_after;
  /// The failing read runs out of memory instead of failing with a device error.
  bool out_of_memory = false;
  WriteFault write_fault = WriteFault::kNone;
  /// Runs after the project file is opened and before the converted file is created.
  std::function<void()> before_create;

  std::unique_ptr<detail::InputFile> OpenForReading(const std::string& path) override;
  std::unique_ptr<detail::OutputFile> CreateReplacing(const std::string& path,
                                                      const detail::InputFile& source) override;
  void Replace(const std::string& path, std::string_view text) override {
    Native().Replace(path, text);
  }
};

class FaultyInputFile final : public detail::InputFile {
 public:
  FaultyInputFile(std::unique_ptr<detail::InputFile> file, std::size_t fail_after,
                  bool out_of_memory)
      : file_(std::move(file)), left_(fail_after), out_of_memory_(out_of_memory) {}

  std::size_t Read(char* buffer, std::size_t size) override {
    if (left_ == 0 && out_of_memory_) throw std::bad_alloc();
    if (left_ == 0) throw Error(kDeviceIOError);
    std::size_t n = file_->Read(buffer, std::min(size, left_));
    left_ -= n;
    return n;
  }
  std::uint64_t SizeHint() const override { return file_->SizeHint(); }
  detail::FileIdentity Identity() const override { return file_->Identity(); }

 private:
  std::unique_ptr<detail::InputFile> file_;
  std::size_t left_;
  bool out_of_memory_;
};

class FaultyOutputFile final : public detail::OutputFile {
 public:
  FaultyOutputFile(std::unique_ptr<detail::OutputFile> file, WriteFault fault)
      : file_(std::move(file)), fault_(fault) {}

  void Write(std::span<const std::string_view> pieces) override {
    if (fault_ != WriteFault::kDiskFullHalfway && fault_ != WriteFault::kDeviceErrorHalfway) {
      file_->Write(pieces);
      return;
    }
    // the device takes the first half of the text, then gives up
    std::string text;
    for (std::string_view piece : pieces) text += piece;
    std::string_view half = std::string_view(text).substr(0, text.size() / 2);
    file_->Write(std::span<const std::string_view>(&half, 1));
    throw Error(fault_ == WriteFault::kDiskFullHalfway ? kDiskFull : kDeviceIOError);
  }
  void Close() override {
    file_->Close();
    if (fault_ == WriteFault::kCloseFails) throw Error(kDeviceIOError);
  }
  void Discard() noexcept override { file_->Discard(); }

 private:
  std::unique_ptr<detail::OutputFile> file_;
  WriteFault fault_;
};

std::unique_ptr<detail::InputFile> FaultyFileSystem::OpenForReading(const std::string& path) {
  std::unique_ptr<detail::InputFile> file = Native().OpenForReading(path);
  if (!fail_reading_after) return file;
  return std::make_unique<FaultyInputFile>(std::move(file), *fail_reading_after, out_of_memory);
}

std::unique_ptr<detail::OutputFile> FaultyFileSystem::CreateReplacing(
    const std::string& path, const detail::InputFile& source) {
  if (before_create) before_create();
  return std::make_unique<FaultyOutputFile>(Native().CreateReplacing(path, source), write_fault);
}

constexpr std::string_view kSmallProject =
    "<Project>\r\nName=Shop\r\n<Database>\r\nName=shop\r\n<Table>\r\nName=orders\r\n"
    "<Field>\r\nName=id\r\nType=3\r\n<Field>\r\nName=note\r\nType=202\r\n";

// ---- opening the project file and creating the converted file

TEST(OpeningFailure, MissingProjectFileIsFileNotFound) {
  TempDir dir;
  ExpectFailure(dir.File("p.kef"), dir.File("p_tmp.kef"), {53, "File not found", 0},
                Left::kNothing);
}

TEST(OpeningFailure, MissingFolderOnThePathIsPathNotFound) {
  TempDir dir;
  ExpectFailure(dir.File("gone/p.kef"), dir.File("gone/p_tmp.kef"), {76, "Path not found", 0},
                Left::kNothing);
}

TEST(OpeningFailure, FolderInPlaceOfTheFileIsPathFileAccessError) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("p.kef"));
  ExpectFailure(dir.File("p.kef"), dir.File("p_tmp.kef"), {75, "Path/File access error", 0},
                Left::kNothing);
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("p.kef")));
}

TEST(OpeningFailure, UnreadableFileIsPermissionDenied) {
  Project project(kSmallProject);
  ASSERT_EQ(::chmod(project.dir.path().c_str(), 0777), 0);
  ASSERT_EQ(::chmod(project.path.c_str(), 0), 0);
  std::optional<std::string> before = ContentOf(project.path);
  {
    WithoutRootRights user;
    if (!user.possible()) GTEST_SKIP() << "running as root and cannot drop rights";
    Convert converter;
    ExpectError(converter, project.path, {70, "Permission denied", 0});
  }
  ExpectLeft(project.path, before, project.converted, Left::kNothing);
}

TEST(OpeningFailure, ReadOnlyFolderIsPermissionDeniedForTheConvertedFile) {
  Project project(kSmallProject);
  ASSERT_EQ(::chmod(project.dir.path().c_str(), 0555), 0);
  {
    WithoutRootRights user;
    if (!user.possible()) GTEST_SKIP() << "running as root and cannot drop rights";
    ExpectFailure(project.path, project.converted, {70, "Permission denied", 0}, Left::kNothing);
  }
  ASSERT_EQ(::chmod(project.dir.path().c_str(), 0700), 0);
}

TEST(OpeningFailure, FolderMovedAwayBeforeCreatingIsPathNotFound) {
  TempDir root;
  std::filesystem::create_directory(root.File("shop"));
  std::string project = root.Write("shop/p.kef", "<Project>\r\n");
  FaultyFileSystem files;
  files.before_create = [&] { std::filesystem::rename(root.File("shop"), root.File("moved")); };
  detail::Converter converter(Options{}, files);
  try {
    converter.ConvertProject(project);
    ADD_FAILURE() << "converted although the folder is gone";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), 76);
    EXPECT_EQ(error.description(), "Path not found");
    EXPECT_EQ(error.line(), 0);
  }
  EXPECT_EQ(ReadFile(root.File("moved/p.kef")), "<Project>\r\n");
  EXPECT_FALSE(std::filesystem::exists(root.File("moved/p_tmp.kef")));
  EXPECT_FALSE(std::filesystem::exists(root.File("shop")));
}

TEST(OpeningFailure, FolderInPlaceOfTheConvertedFileIsPathFileAccessError) {
  Project project(kSmallProject);
  std::filesystem::create_directory(project.converted);
  std::string before = ReadFile(project.path);
  Convert converter;
  ExpectError(converter, project.path, {75, "Path/File access error", 0});
  EXPECT_EQ(ReadFile(project.path), before);
  EXPECT_TRUE(std::filesystem::is_empty(project.converted));
}

TEST(OpeningFailure, EmptyFileIsInputPastEndOfFile) {
  Project project("");
  ExpectFailure(project.path, project.converted, {62, "Input past end of file", 0},
                Left::kEmptyFile);
}

TEST(OpeningFailure, ConvertedFileThatIsTheProjectUnderAnotherNameIsRefused) {
  Project project(kSmallProject);
  ASSERT_EQ(::link(project.path.c_str(), project.converted.c_str()), 0);
  Convert converter;
  std::string before = ReadFile(project.path);
  ExpectError(converter, project.path, {75, "Path/File access error", 0});
  // truncating the converted file would have truncated the project
  EXPECT_EQ(ReadFile(project.path), before);
  EXPECT_EQ(ReadFile(project.converted), before);
}

TEST(OpeningFailure, ConvertedFileThatLinksToTheProjectIsRefused) {
  Project project(kSmallProject);
  ASSERT_EQ(::symlink("p.kef", project.converted.c_str()), 0);
  Convert converter;
  std::string before = ReadFile(project.path);
  ExpectError(converter, project.path, {75, "Path/File access error", 0});
  EXPECT_EQ(ReadFile(project.path), before);
}

// ---- the path itself

TEST(PathFailure, PathShorterThanFourCharactersIsInvalidArgument) {
  Convert converter;
  try {
    converter.ConvertProject("a.k");
    ADD_FAILURE() << "converted a three-character path";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), 5);
    EXPECT_EQ(error.description(), "Invalid procedure call or argument");
    EXPECT_EQ(error.line(), 0);
  }
}

TEST(PathFailure, FolderSeparatorInTheLastFourCharactersIsInvalidArgument) {
  // "shop/abc" would give "shop_tmp.kef" beside the folder, outside it
  TempDir dir;
  std::filesystem::create_directory(dir.File("shop"));
  std::string project = dir.Write("shop/abc", std::string(kSmallProject));
  ExpectFailure(project, dir.File("shop_tmp.kef"), {5, "Invalid procedure call or argument", 0},
                Left::kNothing);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

// ---- reading

TEST(ReadFailure, FailingFirstReadIsDeviceIOError) {
  Project project(kSmallProject);
  FaultyFileSystem files;
  files.fail_reading_after = 0;
  detail::Converter converter(Options{}, files);
  ExpectFailure(converter, project.path, project.converted, {57, "Device I/O error", 0},
                Left::kEmptyFile);
}

TEST(ReadFailure, FailingReadInTheMiddleIsDeviceIOError) {
  Project project(kSmallProject);
  FaultyFileSystem files;
  files.fail_reading_after = 40;  // within the database section
  detail::Converter converter(Options{}, files);
  ExpectFailure(converter, project.path, project.converted, {57, "Device I/O error", 0},
                Left::kEmptyFile);
}

TEST(ReadFailure, RunningOutOfMemoryLeavesTheConvertedFileEmpty) {
  // not an error of the table: it passes through unchanged, and still nothing is left
  Project project(kSmallProject);
  FaultyFileSystem files;
  files.fail_reading_after = 60;
  files.out_of_memory = true;
  detail::Converter converter(Options{}, files);
  std::string before = ReadFile(project.path);
  EXPECT_THROW(converter.ConvertProject(project.path), std::bad_alloc);
  ExpectLeft(project.path, before, project.converted, Left::kEmptyFile);
}

// ---- writing

TEST(WriteFailure, FullDeviceIsDiskFull) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  Project project(kSmallProject);
  ASSERT_EQ(::symlink("/dev/full", project.converted.c_str()), 0);
  Convert converter;
  std::string before = ReadFile(project.path);
  try {
    converter.ConvertProject(project.path);
    ADD_FAILURE() << "wrote to a full device";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), 61);
    EXPECT_EQ(error.description(), "Disk full");
    EXPECT_EQ(error.line(), 0);
  }
  EXPECT_EQ(ReadFile(project.path), before);
  // nothing took the device's place
  EXPECT_EQ(std::filesystem::read_symlink(project.converted), "/dev/full");
}

TEST(WriteFailure, DiskFullHalfwayLeavesTheConvertedFileEmpty) {
  Project project(kSmallProject);
  FaultyFileSystem files;
  files.write_fault = WriteFault::kDiskFullHalfway;
  detail::Converter converter(Options{}, files);
  ExpectFailure(converter, project.path, project.converted, {61, "Disk full", 0}, Left::kEmptyFile);
}

TEST(WriteFailure, DeviceErrorHalfwayLeavesTheConvertedFileEmpty) {
  Project project(kSmallProject);
  FaultyFileSystem files;
  files.write_fault = WriteFault::kDeviceErrorHalfway;
  detail::Converter converter(Options{}, files);
  ExpectFailure(converter, project.path, project.converted, {57, "Device I/O error", 0},
                Left::kEmptyFile);
}

TEST(WriteFailure, FailingCloseLeavesTheConvertedFileEmpty) {
  // the whole text was written before the close failed: it must not stay
  Project project(kSmallProject);
  FaultyFileSystem files;
  files.write_fault = WriteFault::kCloseFails;
  detail::Converter converter(Options{}, files);
  ExpectFailure(converter, project.path, project.converted, {57, "Device I/O error", 0},
                Left::kEmptyFile);
}

TEST(WriteFailure, EarlierConvertedFileIsEmptiedNotKept) {
  Project project("<Project>\r\n<Database>\r\n<Table>\r\n<Field>\r\nType=x\r\n");
  project.dir.Write("p_tmp.kef", "text of an earlier conversion");
  ExpectFailure(project.path, project.converted, {13, "Type mismatch", 5}, Left::kEmptyFile);
}

// ---- limits

std::string Repeat(std::string_view text, int times) {
  std::string out;
  out.reserve(text.size() * static_cast<std::size_t>(times));
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

TEST(LimitFailure, TableNumber32767IsConvertedAndTheNextIsOverflow) {
  std::string tables = "<Project>\r\n<Database>\r\n" + Repeat("<Table>\r\n", 32767);
  {
    Project fits(tables);
    Convert converter;
    EXPECT_EQ(converter.ConvertProject(fits.path), fits.converted);
  }
  Project project(tables + "<Table>\r\nName=x\r\n");
  ExpectFailure(project.path, project.converted, {6, "Overflow", 2 + 32768}, Left::kEmptyFile);
}

TEST(LimitFailure, FieldNumber32767IsConvertedAndTheNextIsOverflow) {
  std::string fields = "<Project>\r\n<Database>\r\n<Table>\r\n" + Repeat("<Field>\r\n", 32767);
  {
    // the count starts again with every table
    Project fits(fields + "<Table>\r\n" + Repeat("<Field>\r\n", 32767));
    Convert converter;
    EXPECT_EQ(converter.ConvertProject(fits.path), fits.converted);
  }
  Project project(fields + "<Field>\r\n");
  ExpectFailure(project.path, project.converted, {6, "Overflow", 3 + 32768}, Left::kEmptyFile);
}

TEST(LimitFailure, EqualsSignAtPosition32766IsConvertedAnd32767IsOverflow) {
  // blanks before the key do not count: the position is taken in the trimmed line
  std::string fits = "   " + std::string(32765, 'k') + "=v";
  std::string too_far = "   " + std::string(32766, 'k') + "=v";
  {
    Project project("<Project>\r\n" + fits + "\r\n<Database>\r\n");
    Convert converter;
    EXPECT_EQ(converter.ConvertProject(project.path), project.converted);
  }
  Project project("<Project>\r\n<Database>\r\n" + too_far + "\r\n");
  ExpectFailure(project.path, project.converted, {6, "Overflow", 3}, Left::kEmptyFile);
}

TEST(LimitFailure, FieldNameOf32766CharactersIsConvertedAnd32767IsOverflow) {
  std::string head = "<Project>\r\n<Database>\r\n<Table>\r\n<Field>\r\nName=";
  {
    Project project(head + std::string(32766, 'n') + "\r\n");
    Convert converter;
    EXPECT_EQ(converter.ConvertProject(project.path), project.converted);
  }
  Project project(head + std::string(32767, 'n') + "\r\n");
  ExpectFailure(project.path, project.converted, {6, "Overflow", 5}, Left::kEmptyFile);
}

TEST(LimitFailure, FieldNameCountsItsEscapedLength) {
  // 6554 ampersands are 32770 characters once escaped
  Project project(
      "<Project>\r\n<Database>\r\n<Table>\r\n<Field>\r\nName=" + std::string(6554, '&') + "\r\n");
  ExpectFailure(project.path, project.converted, {6, "Overflow", 5}, Left::kEmptyFile);
}

TEST(ContentFailure, TypeCodeThatIsNoNumberIsTypeMismatch) {
  Project project(
      "<Project>\r\n<Database>\r\n<Table>\r\n<Field>\r\nName=a\r\nType=3\r\n<Field>\r\n"
      "Name=b\r\nType=0x10\r\n<Field>\r\nName=c\r\n");
  ExpectFailure(project.path, project.converted, {13, "Type mismatch", 9}, Left::kEmptyFile);
}

// ---- section order

struct OrderCase {
  std::string_view name;
  std::string_view text;
  std::int64_t line;
};

// names the case in test listings instead of dumping its bytes
void PrintTo(const OrderCase& c, std::ostream* out) { *out << c.name; }

class SectionOrderFailure : public ::testing::TestWithParam<OrderCase> {};

TEST_P(SectionOrderFailure, IsInvalidFileFormat) {
  Project project(GetParam().text);
  ExpectFailure(project.path, project.converted, {321, "Invalid file format", GetParam().line},
                Left::kEmptyFile);
}

INSTANTIATE_TEST_SUITE_P(
    EveryOrderError, SectionOrderFailure,
    ::testing::Values(
        OrderCase{"SecondProject", "<Project>\r\nName=a\r\n<Project>\r\n<Database>\r\n", 3},
        OrderCase{"SecondDatabase", "<Project>\r\n<Database>\r\n<Table>\r\n<Database>\r\n", 4},
        OrderCase{"TableBeforeDatabase", "<Project>\r\n<Table>\r\n<Database>\r\n", 2},
        OrderCase{"FieldBeforeAnyTable", "<Project>\r\n<Database>\r\n<Field>\r\n", 3},
        OrderCase{"FieldInTheProject", "<Project>\r\n<Field>\r\n", 2},
        OrderCase{"MarkerInOtherCase", "<Project>\r\n<Database>\r\n<table>\r\n", 3},
        OrderCase{"MarkerWithTabs", "<Project>\r\n<Database>\r\n<Table>\r\n<Field>\t\r\n", 4},
        OrderCase{"MarkerWithTabsAndCase", "<Project>\r\n\t<DATABASE> \r\n", 2},
        OrderCase{"NoDatabase", "<Project>\r\nName=a\r\n\r\nTitle=b", 4},
        OrderCase{"OnlyTheProjectMarker", "<Project>\r\n", 1}),
    [](const ::testing::TestParamInfo<OrderCase>& info) { return std::string(info.param.name); });

TEST(SectionOrder, MarkerWithInnerBlankIsASettingNotAnError) {
  Project project("<Project>\r\n<Database>\r\n< FIELD>\r\n");
  Convert converter;
  EXPECT_EQ(converter.ConvertProject(project.path), project.converted);
}

}  // namespace
}  // namespace kefconvert
