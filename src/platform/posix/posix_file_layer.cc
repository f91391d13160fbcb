// The file layer on POSIX systems: plain file descriptors. The converted text goes to a
// hidden file in the converted file's folder (".NAME_tmp.kef.XXXXXX"), which takes the
// converted name by a rename once it is complete.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "convert/file_layer.h"
#include "kefconvert/kefconvert.h"
#include "platform/posix/signals.h"

namespace kefconvert::detail {
namespace {

// True when the folder that holds `path` exists.
bool FolderExists(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return true;
  std::string folder = slash == 0 ? "/" : path.substr(0, slash);
  struct stat info;
  return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

int OpenErrorNumber(int error, const std::string& path) {
  switch (error) {
    case ENOENT: return FolderExists(path) ? kFileNotFound : kPathNotFound;
    case ENOTDIR: return kPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS: return kPermissionDenied;
    case ENOSPC:
    case EDQUOT: return kDiskFull;
    default: return kPathFileAccessError;
  }
}

int WriteErrorNumber(int error) {
  // EFBIG: the file-size limit, once SIGXFSZ no longer ends the process
  return error == ENOSPC || error == EDQUOT || error == EFBIG ? kDiskFull : kDeviceIOError;
}

Error ProjectFileError(int number, int error) {
  return Error(number, FileRole::kProjectFile, error == 0 ? "" : std::strerror(error));
}

Error ConvertedFileError(int number, int error) {
  return Error(number, FileRole::kConvertedFile, error == 0 ? "" : std::strerror(error));
}

class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { Reset(); }
  int get() const { return fd_; }
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  /// Closes the descriptor and takes `fd` in its place; returns the errno of a failed
  /// close, or 0.
  int Reset(int fd = -1) {
    int error = 0;
    if (fd_ >= 0 && ::close(fd_) != 0) error = errno;
    fd_ = fd;
    return error;
  }

 private:
  int fd_;
};

bool SameTime(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

class PosixInputFile final : public InputFile {
 public:
  PosixInputFile(int fd, const struct stat& info) : fd_(fd), info_(info) {}

  std::size_t Read(char* buffer, std::size_t size) override {
    for (;;) {
      ssize_t n = ::read(fd_.get(), buffer, size);
      if (n >= 0) return static_cast<std::size_t>(n);
      if (errno != EINTR) throw ProjectFileError(kDeviceIOError, errno);
    }
  }
  std::uint64_t SizeHint() const override {
    return S_ISREG(info_.st_mode) ? static_cast<std::uint64_t>(info_.st_size) : 0;
  }
  FileIdentity Identity() const override {
    return {static_cast<std::uint64_t>(info_.st_dev), static_cast<std::uint64_t>(info_.st_ino)};
  }
  void CheckUnchanged() const override {
    if (!S_ISREG(info_.st_mode)) return;  // a pipe or device has no size to compare
    struct stat now;
    if (::fstat(fd_.get(), &now) != 0) throw ProjectFileError(kDeviceIOError, errno);
    if (now.st_size != info_.st_size || !SameTime(now.st_mtim, info_.st_mtim)) {
      throw Error(kDeviceIOError, FileRole::kProjectFile, "the file changed while it was read");
    }
  }

 private:
  Descriptor fd_;
  struct stat info_;
};

// Where the converted file goes: its folder and its name in it.
struct Placement {
  std::string folder;
  std::string name;
};

Placement PlacementOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// ".NAME.XXXXXX": hidden, recognisably the converted file's, and new each time. A long
// NAME is cut so that the hidden name stays within the system's limit.
std::string HiddenNameFor(const std::string& name) {
  static std::atomic<std::uint64_t> counter{0};
  struct timespec now;
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  std::uint64_t seed = (static_cast<std::uint64_t>(::getpid()) << 40) ^
                       (counter.fetch_add(1) * 0x9E3779B97F4A7C15u) ^
                       static_cast<std::uint64_t>(now.tv_nsec);
  constexpr char kDigits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string suffix = ".";
  for (int i = 0; i < 6; ++i, seed /= 36) suffix += kDigits[seed % 36];
  std::size_t kept = std::min(name.size(), std::size_t{NAME_MAX} - 1 - suffix.size());
  // appended piece by piece: GCC 12 warns, wrongly, about "." + std::string&& at -O3
  std::string hidden = ".";
  hidden.append(name, 0, kept).append(suffix);
  return hidden;
}

#ifdef __linux__
constexpr int kFolderOpenFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int kFolderOpenFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

// Replaces `to` by `from`, both in `folder`; returns 0 or the errno of the failure.
int ReplaceName(int folder, const char* from, const char* to) {
#ifdef RENAME_EXCHANGE
  // On ext4 a rename over an existing file writes the new file out at once; exchanging
  // the two names and removing the old file does not, and is as atomic for readers.
  struct stat existing;
  if (::fstatat(folder, to, &existing, AT_SYMLINK_NOFOLLOW) == 0 &&
      (S_ISREG(existing.st_mode) || S_ISLNK(existing.st_mode))) {
    if (::renameat2(folder, from, folder, to, RENAME_EXCHANGE) == 0) {
      (void)::unlinkat(folder, from, 0);
      return 0;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
    // the file system cannot exchange: a plain rename replaces the name as well
  }
#endif
  return ::renameat(folder, from, folder, to) == 0 ? 0 : errno;
}

class PosixOutputFile final : public OutputFile {
 public:
  PosixOutputFile(int folder, int fd, std::string hidden, std::string converted,
                  AfterFailure after_failure)
      : folder_(folder),
        fd_(fd),
        hidden_(std::move(hidden)),
        converted_(std::move(converted)),
        after_failure_(after_failure) {
    const char* emptied = after_failure == AfterFailure::kEmptyFile ? converted_.c_str() : nullptr;
    ticket_ = TrackPendingOutput(folder_.get(), fd_.get(), hidden_.c_str(), emptied);
  }
  PosixOutputFile(const PosixOutputFile&) = delete;
  PosixOutputFile& operator=(const PosixOutputFile&) = delete;
  ~PosixOutputFile() override { Discard(); }

  void WriteAt(std::uint64_t offset, std::span<const std::string_view> pieces) override {
    std::vector<iovec> vectors;
    vectors.reserve(pieces.size());
    for (std::string_view piece : pieces) {
      if (!piece.empty()) vectors.push_back({const_cast<char*>(piece.data()), piece.size()});
    }
    std::size_t next = 0;
    while (next < vectors.size()) {
      int count = static_cast<int>(std::min<std::size_t>(vectors.size() - next, IOV_MAX));
      ssize_t n = ::pwritev(fd_.get(), &vectors[next], count, static_cast<off_t>(offset));
      if (n < 0) {
        if (errno == EINTR) continue;
        throw ConvertedFileError(WriteErrorNumber(errno), errno);
      }
      // skip what was written; a short write leaves the rest of a piece for the next round
      auto written = static_cast<std::size_t>(n);
      offset += written;
      while (next < vectors.size() && written >= vectors[next].iov_len) {
        written -= vectors[next++].iov_len;
      }
      if (written > 0) {
        vectors[next].iov_base = static_cast<char*>(vectors[next].iov_base) + written;
        vectors[next].iov_len -= written;
      }
    }
  }

  // each write names its own offset, and a signal handler gives the converted name a file
  // of its own, so a write in flight on another thread cannot reach it
  bool TakesWritesAtOnce() const override { return true; }

  std::size_t ReadAt(std::uint64_t offset, char* buffer, std::size_t size) override {
    std::size_t done = 0;
    while (done < size) {
      ssize_t n = ::pread(fd_.get(), buffer + done, size - done, static_cast<off_t>(offset + done));
      if (n == 0) break;
      if (n < 0) {
        if (errno == EINTR) continue;
        throw ConvertedFileError(kDeviceIOError, errno);
      }
      done += static_cast<std::size_t>(n);
    }
    return done;
  }

  void Commit() override {
    TerminationSignalsHeld held;
    // forgotten before the descriptor is closed, so that no handler on another thread
    // truncates a file that reuses its number
    Forget();
    if (int error = fd_.Reset(); error != 0) {
      throw ConvertedFileError(WriteErrorNumber(error), error);
    }
    if (int error = ReplaceName(folder_.get(), hidden_.c_str(), converted_.c_str()); error != 0) {
      throw ConvertedFileError(CommitErrorNumber(error), error);
    }
    done_ = true;
  }

  void Discard() noexcept override {
    if (done_) return;
    TerminationSignalsHeld held;
    Forget();
    if (after_failure_ == AfterFailure::kAsItWas) {
      fd_.Reset();
      (void)::unlinkat(folder_.get(), hidden_.c_str(), 0);
      done_ = true;
      return;
    }
    if (fd_.get() >= 0) {
      (void)::ftruncate(fd_.get(), 0);
      fd_.Reset();
    } else {
      Descriptor emptied(
          ::openat(folder_.get(), hidden_.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC));
    }
    // the converted name holds an empty file, as after any failure
    if (::renameat(folder_.get(), hidden_.c_str(), folder_.get(), converted_.c_str()) != 0) {
      (void)::unlinkat(folder_.get(), hidden_.c_str(), 0);
    }
    done_ = true;
  }

  void Truncate(std::uint64_t size) override {
    if (::ftruncate(fd_.get(), static_cast<off_t>(size)) != 0) {
      throw ConvertedFileError(WriteErrorNumber(errno), errno);
    }
  }

 private:
  void Forget() {
    ForgetPendingOutput(ticket_);
    ticket_ = -1;
  }

  static int CommitErrorNumber(int error) {
    switch (error) {
      case EISDIR:
      case ENOTEMPTY:
      case EEXIST: return kPathFileAccessError;
      case EACCES:
      case EPERM:
      case EROFS: return kPermissionDenied;
      default: return WriteErrorNumber(error);
    }
  }

  Descriptor folder_;
  Descriptor fd_;
  std::string hidden_;
  std::string converted_;
  AfterFailure after_failure_;
  int ticket_ = -1;
  bool done_ = false;
};

class PosixFileSystem final : public FileSystem {
 public:
  std::unique_ptr<InputFile> OpenForReading(const std::string& path) override {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw ProjectFileError(OpenErrorNumber(errno, path), errno);
    Descriptor guard(fd);
    struct stat info;
    if (::fstat(fd, &info) != 0) throw ProjectFileError(kPathFileAccessError, errno);
    if (S_ISDIR(info.st_mode)) throw ProjectFileError(kPathFileAccessError, EISDIR);
    // allocated before the descriptor changes hands
    return std::unique_ptr<InputFile>(new PosixInputFile(guard.Release(), info));
  }

  std::unique_ptr<OutputFile> CreateReplacing(const std::string& path, const InputFile* source,
                                              AfterFailure after_failure) override {
    struct stat existing;
    bool exists = ::lstat(path.c_str(), &existing) == 0;
    if (!exists && errno != ENOENT) throw ConvertedFileError(OpenErrorNumber(errno, path), errno);
    if (exists) CheckReplaceable(path, existing, source);

    Placement place = PlacementOf(path);
    Descriptor folder(::open(place.folder.c_str(), kFolderOpenFlags));
    if (folder.get() < 0) throw ConvertedFileError(FolderErrorNumber(errno), errno);
    std::string hidden;
    Descriptor file;
    for (int attempt = 0; file.get() < 0; ++attempt) {
      hidden = HiddenNameFor(place.name);
      file.Reset(::openat(folder.get(), hidden.c_str(),
                          O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
      if (file.get() < 0 && (errno != EEXIST || attempt == 100)) {
        throw ConvertedFileError(OpenErrorNumber(errno, path), errno);
      }
    }
    // the new file takes the place of the old one with its permissions, as when the old
    // one was rewritten in place (best effort: only root may give it to another owner)
    if (exists && S_ISREG(existing.st_mode)) {
      (void)::fchmod(file.get(), existing.st_mode & 07777);
      if (existing.st_uid != ::geteuid() || existing.st_gid != ::getegid()) {
        (void)::fchown(file.get(), existing.st_uid, existing.st_gid);
      }
    }
    return std::unique_ptr<OutputFile>(
        new PosixOutputFile(folder.Release(), file.Release(), std::move(hidden), place.name,
                            after_failure));
  }

 private:
  // The converted name may be replaced when it is a file the caller may write or a link;
  // anything else is refused without opening it, since opening a FIFO blocks.
  static void CheckReplaceable(const std::string& path, const struct stat& existing,
                               const InputFile* source) {
    if (S_ISDIR(existing.st_mode)) throw ConvertedFileError(kPathFileAccessError, EISDIR);
    if (!S_ISREG(existing.st_mode) && !S_ISLNK(existing.st_mode)) {
      throw Error(kPathFileAccessError, FileRole::kConvertedFile, "not a regular file");
    }
    struct stat target;
    if (source != nullptr && ::stat(path.c_str(), &target) == 0 &&
        FileIdentity{static_cast<std::uint64_t>(target.st_dev),
                     static_cast<std::uint64_t>(target.st_ino)} == source->Identity()) {
      throw Error(kPathFileAccessError, FileRole::kConvertedFile, "it is the project file");
    }
    if (S_ISREG(existing.st_mode) && ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) {
      throw ConvertedFileError(OpenErrorNumber(errno, path), errno);
    }
  }

  static int FolderErrorNumber(int error) {
    return error == ENOENT || error == ENOTDIR ? kPathNotFound : OpenErrorNumber(error, ".");
  }

};

}  // namespace

FileSystem& FileSystem::Native() {
  static PosixFileSystem files;
  return files;
}

}  // namespace kefconvert::detail
