// Every way a conversion can fail, provoked on real files or through a file layer that
// fails on purpose. Each failure must come out as the documented error (number, exact
// description, the line where one applies), leave the project file byte for byte as it
// was, and leave the converted file absent or empty, never partly written.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "convert/converter.h"
#include "convert/file_layer.h"
#include "kefconvert/kefconvert.h"
#include "memory_file_system.h"
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

// The hidden files that the converted text is written to before it takes its name.
std::vector<std::string> HiddenFilesBeside(const std::string& path) {
  std::vector<std::string> hidden;
  std::filesystem::path folder = std::filesystem::path(path).parent_path();
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    std::string name = entry.path().filename().string();
    if (name.starts_with(".")) hidden.push_back(name);
  }
  return hidden;
}

// Checks that the project file still holds `before`, what is left of the converted file,
// and that no hidden file stayed behind.
void ExpectLeft(const std::string& project, const std::optional<std::string>& before,
                const std::string& converted, Left left) {
  EXPECT_EQ(ContentOf(project), before) << "the project file changed";
  EXPECT_EQ(HiddenFilesBeside(converted), std::vector<std::string>());
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

enum class WriteFault { kNone, kDiskFullHalfway, kDeviceErrorHalfway, kCommitFails };

class FaultyFileSystem final : public detail::FileSystem {
 public:
  /// Reads fail once this many bytes have been read.
  std::optional<std::size_t> fail_reading_after;
  /// The failing read runs out of memory instead of failing with a device error.
  bool out_of_memory = false;
  /// Runs after every read of the project file.
  std::function<void()> after_read;
  /// The most bytes one read of the project file hands out.
  std::size_t read_piece = SIZE_MAX;
  WriteFault write_fault = WriteFault::kNone;
  /// Raised when half of the converted text is written (0: none).
  int signal_halfway = 0;
  /// Runs after the project file is opened and before the converted file is created.
  std::function<void()> before_create;

  std::unique_ptr<detail::InputFile> OpenForReading(const std::string& path) override;
  std::unique_ptr<detail::OutputFile> CreateReplacing(const std::string& path,
                                                      const detail::InputFile* source,
                                                      detail::AfterFailure after_failure) override;
};

class FaultyInputFile final : public detail::InputFile {
 public:
  FaultyInputFile(std::unique_ptr<detail::InputFile> file, const FaultyFileSystem& faults)
      : file_(std::move(file)),
        left_(faults.fail_reading_after.value_or(SIZE_MAX)),
        faults_(faults) {}

  std::size_t Read(char* buffer, std::size_t size) override {
    if (left_ == 0 && faults_.out_of_memory) throw std::bad_alloc();
    if (left_ == 0) throw Error(kDeviceIOError);
    std::size_t n = file_->Read(buffer, std::min({size, left_, faults_.read_piece}));
    left_ -= n;
    if (faults_.after_read) faults_.after_read();
    return n;
  }
  std::uint64_t SizeHint() const override { return file_->SizeHint(); }
  detail::FileIdentity Identity() const override { return file_->Identity(); }
  void CheckUnchanged() const override { file_->CheckUnchanged(); }

 private:
  std::unique_ptr<detail::InputFile> file_;
  std::size_t left_;
  const FaultyFileSystem& faults_;
};

class FaultyOutputFile final : public detail::OutputFile {
 public:
  FaultyOutputFile(std::unique_ptr<detail::OutputFile> file, const FaultyFileSystem& faults)
      : file_(std::move(file)), faults_(faults) {}

  void WriteAt(std::uint64_t offset, std::span<const std::string_view> pieces) override {
    WriteFault fault = faults_.write_fault;
    bool halfway = fault == WriteFault::kDiskFullHalfway ||
                   fault == WriteFault::kDeviceErrorHalfway || faults_.signal_halfway != 0;
    if (!halfway) {
      file_->WriteAt(offset, pieces);
      return;
    }
    // the device takes the first half of the text, then gives up
    std::string text;
    for (std::string_view piece : pieces) text += piece;
    std::string_view half = std::string_view(text).substr(0, text.size() / 2);
    file_->WriteAt(offset, std::span<const std::string_view>(&half, 1));
    if (faults_.signal_halfway != 0) ::raise(faults_.signal_halfway);
    throw Error(fault == WriteFault::kDiskFullHalfway ? kDiskFull : kDeviceIOError,
                FileRole::kConvertedFile, "");
  }
  std::size_t ReadAt(std::uint64_t offset, char* buffer, std::size_t size) override {
    return file_->ReadAt(offset, buffer, size);
  }
  void Commit() override {
    // as when the last bytes cannot be stored: the whole text was written, yet fails
    if (faults_.write_fault == WriteFault::kCommitFails) throw Error(kDeviceIOError);
    file_->Commit();
  }
  void Discard() noexcept override { file_->Discard(); }
  void Truncate(std::uint64_t size) override { file_->Truncate(size); }

 private:
  std::unique_ptr<detail::OutputFile> file_;
  const FaultyFileSystem& faults_;
};

std::unique_ptr<detail::InputFile> FaultyFileSystem::OpenForReading(const std::string& path) {
  return std::make_unique<FaultyInputFile>(Native().OpenForReading(path), *this);
}

std::unique_ptr<detail::OutputFile> FaultyFileSystem::CreateReplacing(
    const std::string& path, const detail::InputFile* source, detail::AfterFailure after_failure) {
  if (before_create) before_create();
  return std::make_unique<FaultyOutputFile>(Native().CreateReplacing(path, source, after_failure), *this);
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

TEST(OpeningFailure, FileErrorSaysWhichFileAndWhatTheSystemSaid) {
  Project project(kSmallProject);
  std::filesystem::create_directory(project.converted);
  struct Case {
    std::string path;
    FileRole file;
    std::string_view reason;
  };
  for (const Case& c :
       {Case{project.dir.File("missing.kef"), FileRole::kProjectFile, "No such file or directory"},
        Case{project.path, FileRole::kConvertedFile, "Is a directory"}}) {
    Convert converter;
    try {
      converter.ConvertProject(c.path);
      ADD_FAILURE() << c.path << " converted";
    } catch (const Error& error) {
      EXPECT_EQ(error.file(), c.file) << c.path;
      EXPECT_EQ(error.system_reason(), c.reason) << c.path;
      EXPECT_EQ(std::string_view(error.what()), error.description()) << c.path;
    }
  }
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

TEST(WriteFailure, FailingCommitLeavesTheConvertedFileEmpty) {
  // the whole text was written before the commit failed: it must not stay
  Project project(kSmallProject);
  FaultyFileSystem files;
  files.write_fault = WriteFault::kCommitFails;
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

// ---- putting the converted text in place

// The text that `project_text` converts to, converted in a folder of its own.
std::string ConvertedText(std::string_view project_text) {
  Project project(project_text);
  Convert converter;
  EXPECT_EQ(converter.ConvertProject(project.path), project.converted);
  return ReadFile(project.converted);
}

struct LinkCase {
  std::string_view name;
  bool symbolic;
  std::string_view target;  // relative to the project folder, or absolute
};

void PrintTo(const LinkCase& c, std::ostream* out) { *out << c.name; }

class LinkAtTheConvertedName : public ::testing::TestWithParam<LinkCase> {};

TEST_P(LinkAtTheConvertedName, IsReplacedAndItsTargetIsUntouched) {
  const LinkCase& link = GetParam();
  Project project(kSmallProject);
  std::string target =
      link.target.starts_with("/") ? std::string(link.target) : project.dir.File(link.target);
  if (link.target == "private") project.dir.Write("private", "secret");
  int made = link.symbolic ? ::symlink(target.c_str(), project.converted.c_str())
                           : ::link(target.c_str(), project.converted.c_str());
  ASSERT_EQ(made, 0);
  Convert converter;
  EXPECT_EQ(converter.ConvertProject(project.path), project.converted);
  struct stat info;
  ASSERT_EQ(::lstat(project.converted.c_str(), &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode) && info.st_nlink == 1) << "the converted name is still a link";
  EXPECT_EQ(ReadFile(project.converted), ConvertedText(kSmallProject));
  if (link.target == "private") {
    EXPECT_EQ(ReadFile(target), "secret");
  } else if (link.target == "missing") {
    EXPECT_FALSE(std::filesystem::exists(target)) << "the link's target was created";
  }
  EXPECT_EQ(HiddenFilesBeside(project.converted), std::vector<std::string>());
}

INSTANTIATE_TEST_SUITE_P(EveryKind, LinkAtTheConvertedName,
                         ::testing::Values(LinkCase{"SymbolicLink", true, "private"},
                                           LinkCase{"HardLink", false, "private"},
                                           LinkCase{"DanglingSymbolicLink", true, "missing"},
                                           LinkCase{"SymbolicLinkToADevice", true, "/dev/full"}),
                         [](const ::testing::TestParamInfo<LinkCase>& info) {
                           return std::string(info.param.name);
                         });

struct NonRegularCase {
  std::string_view name;
  mode_t type;
};

void PrintTo(const NonRegularCase& c, std::ostream* out) { *out << c.name; }

class NonRegularConvertedName : public ::testing::TestWithParam<NonRegularCase> {};

TEST_P(NonRegularConvertedName, IsPathFileAccessErrorAtOnce) {
  Project project(kSmallProject);
  mode_t type = GetParam().type;
  int made = type == S_IFDIR ? ::mkdir(project.converted.c_str(), 0755)
                             : ::mknod(project.converted.c_str(), type | 0666, makedev(1, 3));
  if (made != 0 && type == S_IFCHR) GTEST_SKIP() << "cannot make a device node here";
  ASSERT_EQ(made, 0);
  auto start = std::chrono::steady_clock::now();
  std::optional<std::string> before = ContentOf(project.path);
  Convert converter;
  ExpectError(converter, project.path, {75, "Path/File access error", 0});
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(ContentOf(project.path), before);
  struct stat info;
  ASSERT_EQ(::lstat(project.converted.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & S_IFMT, type) << "what stood at the converted name was replaced";
  EXPECT_EQ(HiddenFilesBeside(project.converted), std::vector<std::string>());
}

INSTANTIATE_TEST_SUITE_P(EveryKind, NonRegularConvertedName,
                         ::testing::Values(NonRegularCase{"Fifo", S_IFIFO},
                                           NonRegularCase{"Folder", S_IFDIR},
                                           NonRegularCase{"Device", S_IFCHR}),
                         [](const ::testing::TestParamInfo<NonRegularCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(Commit, ReadOnlyConvertedFileIsPermissionDeniedAndKept) {
  Project project(kSmallProject);
  project.dir.Write("p_tmp.kef", "earlier text");
  ASSERT_EQ(::chmod(project.converted.c_str(), 0444), 0);
  ASSERT_EQ(::chmod(project.dir.path().c_str(), 0777), 0);
  {
    WithoutRootRights user;
    if (!user.possible()) GTEST_SKIP() << "running as root and cannot drop rights";
    Convert converter;
    ExpectError(converter, project.path, {70, "Permission denied", 0});
  }
  EXPECT_EQ(ReadFile(project.converted), "earlier text");
  EXPECT_EQ(HiddenFilesBeside(project.converted), std::vector<std::string>());
}

TEST(Commit, ReplacedFileKeepsItsPermissions) {
  Project project(kSmallProject);
  project.dir.Write("p_tmp.kef", "earlier text");
  ASSERT_EQ(::chmod(project.converted.c_str(), 0640), 0);
  Convert converter;
  EXPECT_EQ(converter.ConvertProject(project.path), project.converted);
  struct stat info;
  ASSERT_EQ(::stat(project.converted.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

// ---- the project file changing while it is read

struct TornReadCase {
  std::string_view name;
  std::function<void(const std::string& path)> change;
};

void PrintTo(const TornReadCase& c, std::ostream* out) { *out << c.name; }

class ProjectChangedWhileRead : public ::testing::TestWithParam<TornReadCase> {};

TEST_P(ProjectChangedWhileRead, IsDeviceIOError) {
  Project project(kSmallProject);
  project.dir.Write("p_tmp.kef", "earlier text");
  FaultyFileSystem files;
  bool changed = false;
  files.after_read = [&] {
    if (!std::exchange(changed, true)) GetParam().change(project.path);
  };
  detail::Converter converter(Options{}, files);
  ExpectError(converter, project.path, {57, "Device I/O error", 0});
  EXPECT_EQ(ReadFile(project.converted), "");
  EXPECT_EQ(HiddenFilesBeside(project.converted), std::vector<std::string>());
}

INSTANTIATE_TEST_SUITE_P(EveryChange, ProjectChangedWhileRead,
                         ::testing::Values(TornReadCase{"Truncated",
                                                        [](const std::string& path) {
                                                          ASSERT_EQ(::truncate(path.c_str(), 20),
                                                                    0);
                                                        }},
                                           TornReadCase{"Appended",
                                                        [](const std::string& path) {
                                                          std::ofstream(path, std::ios::app)
                                                              << "Name=late\r\n";
                                                        }}),
                         [](const ::testing::TestParamInfo<TornReadCase>& info) {
                           return std::string(info.param.name);
                         });

// Cut short while it is read, a file seems to end before its database section: the change
// is the error, not what the text read seemed to say.
TEST(ProjectChangedWhileRead, BeforeItsEndIsDeviceIOErrorAllTheSame) {
  Project project(kSmallProject);
  FaultyFileSystem files;
  files.read_piece = 16;
  bool changed = false;
  files.after_read = [&] {
    if (!std::exchange(changed, true)) {
      ASSERT_EQ(::truncate(project.path.c_str(), 20), 0);
    }
  };
  detail::Converter converter(Options{}, files);
  ExpectError(converter, project.path, {57, "Device I/O error", 0});
  EXPECT_EQ(ReadFile(project.converted), "");
}

std::string ProjectWithFields(int fields) {
  std::string text = "<Project>\r\n<Database>\r\n<Table>\r\nName=t\r\n";
  for (int i = 0; i < fields; ++i)
    text += "<Field>\r\nName=f" + std::to_string(i) + "\r\nType=3\r\n";
  return text;
}

TEST(WriteFailure, FailureAtEveryWriteLeavesAnEmptyFileAndNoHiddenFile) {
  const std::string text = ProjectWithFields(300);
  auto converted_with = [&](int failing_write, fuzz::MemoryFileSystem& files) {
    files.Put("/p.kef", text);
    files.Put("/p_tmp.kef", "earlier text");
    if (failing_write > 0) files.FailWritingAt(failing_write);
    detail::Converter converter(Options{}, files);
    return converter.ConvertProject("/p.kef");
  };
  fuzz::MemoryFileSystem clean(4096);
  ASSERT_EQ(converted_with(0, clean), "/p_tmp.kef");
  ASSERT_GT(clean.writes(), 0);
  for (int failing = 1; failing <= clean.writes(); ++failing) {
    SCOPED_TRACE("write " + std::to_string(failing));
    fuzz::MemoryFileSystem files(4096);
    try {
      converted_with(failing, files);
      ADD_FAILURE() << "converted although a write failed";
    } catch (const Error& error) {
      EXPECT_EQ(error.number(), kDiskFull);
      EXPECT_EQ(error.file(), FileRole::kConvertedFile);
    }
    EXPECT_EQ(*files.Find("/p_tmp.kef"), "");
    EXPECT_EQ(files.Paths(), std::vector<std::string>({"/p.kef", "/p_tmp.kef"}));
  }
}

// ---- signals and limits, in child processes

// Runs `body` in a child process and returns its wait status.
int StatusOfChild(const std::function<int()>& body) {
  pid_t child = ::fork();
  if (child == 0) ::_exit(body());
  int status = 0;
  EXPECT_EQ(::waitpid(child, &status, 0), child);
  return status;
}

struct SignalCase {
  std::string_view name;
  int signal_number;
  bool earlier_file;
};

void PrintTo(const SignalCase& c, std::ostream* out) { *out << c.name; }

class SignalDuringTheWrite : public ::testing::TestWithParam<SignalCase> {};

TEST_P(SignalDuringTheWrite, NeverLeavesAPartialConvertedFile) {
  const SignalCase& c = GetParam();
  Project project(kSmallProject);
  if (c.earlier_file) project.dir.Write("p_tmp.kef", "earlier text");
  int status = StatusOfChild([&] {
    FaultyFileSystem files;
    files.signal_halfway = c.signal_number;
    detail::Converter converter(Options{}, files);
    converter.ConvertProject(project.path);
    return 0;
  });
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal_number) << status;
  std::optional<std::string> left = ContentOf(project.converted);
  if (c.signal_number == SIGKILL) {
    // killed outright: the old file whole, or none; its hidden file may stay
    EXPECT_EQ(left, c.earlier_file ? std::optional<std::string>("earlier text") : std::nullopt);
  } else {
    // abandoned as after a failure
    EXPECT_EQ(left, std::string());
    EXPECT_EQ(HiddenFilesBeside(project.converted), std::vector<std::string>());
  }
}

INSTANTIATE_TEST_SUITE_P(EverySignal, SignalDuringTheWrite,
                         ::testing::Values(SignalCase{"KillOverAnEarlierFile", SIGKILL, true},
                                           SignalCase{"KillWithoutAnEarlierFile", SIGKILL, false},
                                           SignalCase{"TermOverAnEarlierFile", SIGTERM, true},
                                           SignalCase{"TermWithoutAnEarlierFile", SIGTERM, false}),
                         [](const ::testing::TestParamInfo<SignalCase>& info) {
                           return std::string(info.param.name);
                         });

// A large file is written from two threads: a signal that abandons the conversion while
// the other thread's write is under way must leave the converted name empty all the same.
TEST(SignalDuringTheWrite, OfAnotherThreadLeavesTheConvertedNameEmpty) {
  TempDir dir;
  std::string converted = dir.File("p_tmp.kef");
  int status = StatusOfChild([&] {
    std::unique_ptr<detail::OutputFile> file = detail::FileSystem::Native().CreateReplacing(
        converted, nullptr, detail::AfterFailure::kEmptyFile);
    std::atomic<int> writes{0};
    sigset_t term;
    ::sigemptyset(&term);
    ::sigaddset(&term, SIGTERM);
    std::thread writer([&] {
      ::pthread_sigmask(SIG_BLOCK, &term, nullptr);
      const std::string block(65536, 'x');
      std::string_view pieces[] = {block};
      for (std::uint64_t offset = 0;; offset += block.size()) {
        file->WriteAt(offset, pieces);
        writes.fetch_add(1);
      }
    });
    while (writes.load() < 20) std::this_thread::yield();
    ::raise(SIGTERM);
    writer.join();
    return 0;
  });
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
  std::optional<std::string> left = ContentOf(converted);
  ASSERT_TRUE(left.has_value());
  EXPECT_EQ(left->size(), 0u) << "a write after the signal reached the converted name";
  EXPECT_EQ(HiddenFilesBeside(converted), std::vector<std::string>());
}

TEST(FileSizeLimit, OverSizeFileIsDiskFullAndTheNextConverts) {
  Project big(ProjectWithFields(200));
  Project small(kSmallProject);
  std::string small_text = ConvertedText(kSmallProject);
  ASSERT_GT(ConvertedText(ProjectWithFields(200)).size(), 65536u);
  int status = StatusOfChild([&] {
    ::signal(SIGXFSZ, SIG_IGN);  // as the tool and the host do
    struct rlimit limit = {65536, 65536};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 10;
    Convert converter;
    try {
      converter.ConvertProject(big.path);
      return 11;
    } catch (const Error& error) {
      if (error.number() != kDiskFull) return 12;
    }
    return converter.ConvertProject(small.path) == small.converted ? 0 : 13;
  });
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ContentOf(big.converted), std::string());
  EXPECT_EQ(HiddenFilesBeside(big.converted), std::vector<std::string>());
  EXPECT_EQ(ReadFile(small.converted), small_text);
}

TEST(Commit, TwoProcessesConvertingIntoOneNameEachLeaveAWholeFile) {
  // p.kef and p.old both convert to p_tmp.kef
  std::string first_text = ProjectWithFields(3000);
  std::string second_text = ProjectWithFields(2000);
  Project project(first_text);
  std::string other = project.dir.Write("p.old", second_text);
  std::string first = ConvertedText(first_text);
  std::string second = ConvertedText(second_text);
  auto convert_often = [&](const std::string& path) {
    return [&, path] {
      Convert converter;
      for (int i = 0; i < 20; ++i) {
        if (converter.ConvertProject(path) != project.converted) return 1;
      }
      return 0;
    };
  };
  pid_t children[2];
  const std::string* paths[2] = {&project.path, &other};
  for (int i = 0; i < 2; ++i) {
    children[i] = ::fork();
    if (children[i] == 0) ::_exit(convert_often(*paths[i])());
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  std::string left = ReadFile(project.converted);
  EXPECT_TRUE(left == first || left == second) << "a mixed file of " << left.size() << " bytes";
  EXPECT_EQ(HiddenFilesBeside(project.converted), std::vector<std::string>());
}

}  // namespace
}  // namespace kefconvert
