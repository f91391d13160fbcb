#include "cli/backup.h"

#include "cli/paths.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace kefconvert::cli {
namespace {

// the automation runtime's numbers, as the library's file errors use them
constexpr int kDeviceIOError = 57;
constexpr int kFileAlreadyExists = 58;
constexpr int kDiskFull = 61;
constexpr int kPermissionDenied = 70;
constexpr int kPathFileAccessError = 75;
constexpr int kPathNotFound = 76;

#ifdef _WIN32

std::wstring Wide(const std::string& path) { return PathFromUtf8(path).wstring(); }

int NumberOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return kFileAlreadyExists;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return kPathNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_WRITE_PROTECT: return kPermissionDenied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return kDiskFull;
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT: return kDeviceIOError;
    default: return kPathFileAccessError;
  }
}

std::string SystemMessage(DWORD error) {
  wchar_t* text = nullptr;
  DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message(text != nullptr ? text : L"", length);
  if (text != nullptr) ::LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                              message.back() == L'.' || message.back() == L' ')) {
    message.pop_back();
  }
  return Utf8FromPath(std::filesystem::path(message));
}

bool Fail(BackupFailure& failure, DWORD error) {
  failure.number = NumberOf(error);
  failure.reason = SystemMessage(error);
  return false;
}

bool LinkImpossible(DWORD error) {
  // FAT and other file systems without links; a file with too many names already
  return error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED ||
         error == ERROR_TOO_MANY_LINKS || error == ERROR_NOT_SAME_DEVICE;
}

// CopyFileW with "fail if exists" creates the copy only when no file of that name is there
bool Copy(const std::string& original, const std::string& backup, BackupFailure& failure) {
  if (::CopyFileW(Wide(original).c_str(), Wide(backup).c_str(), TRUE)) return true;
  return Fail(failure, ::GetLastError());
}

bool IdentityOf(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
  HANDLE file =
      ::CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool known = ::GetFileInformationByHandle(file, &info);
  ::CloseHandle(file);
  return known;
}

bool SameFile(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION first, second;
  return IdentityOf(a, first) && IdentityOf(b, second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
}

}  // namespace

bool MakeBackup(const std::string& original, const std::string& backup, BackupFailure& failure) {
  if (::CreateHardLinkW(Wide(backup).c_str(), Wide(original).c_str(), nullptr)) return true;
  DWORD error = ::GetLastError();
  // left by a run that was interrupted before it replaced the file: still the original
  if ((error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) && SameFile(original, backup)) {
    return true;
  }
  if (LinkImpossible(error)) return Copy(original, backup, failure);
  return Fail(failure, error);
}

bool RemoveBackup(const std::string& backup) { return ::DeleteFileW(Wide(backup).c_str()); }

#else

int NumberOf(int error) {
  switch (error) {
    case EEXIST: return kFileAlreadyExists;
    case ENOENT:
    case ENOTDIR: return kPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS: return kPermissionDenied;
    case ENOSPC:
    case EDQUOT: return kDiskFull;
    case EIO: return kDeviceIOError;
    default: return kPathFileAccessError;
  }
}

bool Fail(BackupFailure& failure, int error) {
  failure.number = NumberOf(error);
  failure.reason = std::strerror(error);
  return false;
}

bool LinkImpossible(int error) {
  // file systems without links (FAT, some network and FUSE ones), a file with too many
  // names, or links forbidden to this user for a file they do not own
  return error == EPERM || error == EMLINK || error == ENOTSUP || error == EOPNOTSUPP ||
         error == ENOSYS || error == EXDEV;
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  int Close() {
    int result = ::close(fd_);
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

bool CopyBytes(int from, int to) {
  char buffer[65536];
  for (;;) {
    ssize_t got = ::read(from, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return got == 0;
    for (ssize_t done = 0; done < got;) {
      ssize_t put = ::write(to, buffer + done, static_cast<std::size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) return false;
      done += put;
    }
  }
}

// O_EXCL: the copy is created only when no file of that name is there
bool Copy(const std::string& original, const std::string& backup, BackupFailure& failure) {
  Descriptor from(::open(original.c_str(), O_RDONLY | O_CLOEXEC));
  if (from.get() < 0) return Fail(failure, errno);
  struct stat info;
  if (::fstat(from.get(), &info) != 0) return Fail(failure, errno);
  Descriptor to(
      ::open(backup.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, info.st_mode & 07777));
  if (to.get() < 0) return Fail(failure, errno);
  if (!CopyBytes(from.get(), to.get()) || ::fsync(to.get()) != 0 || to.Close() != 0) {
    int error = errno;
    ::unlink(backup.c_str());
    return Fail(failure, error);
  }
  return true;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat first, second;
  return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

}  // namespace

bool MakeBackup(const std::string& original, const std::string& backup, BackupFailure& failure) {
  // a project file reached through a symbolic link is backed up as the file it names
  if (::linkat(AT_FDCWD, original.c_str(), AT_FDCWD, backup.c_str(), AT_SYMLINK_FOLLOW) == 0) {
    return true;
  }
  int error = errno;
  // left by a run that was interrupted before it replaced the file: still the original
  if (error == EEXIST && SameFile(original, backup)) return true;
  if (LinkImpossible(error)) return Copy(original, backup, failure);
  return Fail(failure, error);
}

bool RemoveBackup(const std::string& backup) { return ::unlink(backup.c_str()) == 0; }

#endif

}  // namespace kefconvert::cli
