// The file layer on POSIX systems: plain file descriptors, one writev for the whole text.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "convert/file_layer.h"
#include "kefconvert/kefconvert.h"

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
  return error == ENOSPC || error == EDQUOT ? kDiskFull : kDeviceIOError;
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { Reset(); }
  int get() const { return fd_; }
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  /// Closes the descriptor; returns the errno of a failed close, or 0.
  int Reset() {
    if (fd_ < 0) return 0;
    int result = ::close(fd_);
    fd_ = -1;
    return result == 0 ? 0 : errno;
  }

 private:
  int fd_;
};

class PosixInputFile final : public InputFile {
 public:
  PosixInputFile(int fd, const struct stat& info) : fd_(fd), info_(info) {}

  std::size_t Read(char* buffer, std::size_t size) override {
    for (;;) {
      ssize_t n = ::read(fd_.get(), buffer, size);
      if (n >= 0) return static_cast<std::size_t>(n);
      if (errno != EINTR) throw Error(kDeviceIOError);
    }
  }
  std::uint64_t SizeHint() const override {
    return S_ISREG(info_.st_mode) ? static_cast<std::uint64_t>(info_.st_size) : 0;
  }
  FileIdentity Identity() const override {
    return {static_cast<std::uint64_t>(info_.st_dev), static_cast<std::uint64_t>(info_.st_ino)};
  }

 private:
  Descriptor fd_;
  struct stat info_;
};

class PosixOutputFile final : public OutputFile {
 public:
  PosixOutputFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

  void Write(std::span<const std::string_view> pieces) override {
    std::vector<iovec> vectors;
    for (std::string_view piece : pieces) {
      if (!piece.empty()) vectors.push_back({const_cast<char*>(piece.data()), piece.size()});
    }
    std::size_t next = 0;
    while (next < vectors.size()) {
      int count = static_cast<int>(std::min<std::size_t>(vectors.size() - next, IOV_MAX));
      ssize_t n = ::writev(fd_.get(), &vectors[next], count);
      if (n < 0) {
        if (errno == EINTR) continue;
        throw Error(WriteErrorNumber(errno));
      }
      // skip what was written; a short write leaves the rest of a piece for the next round
      auto written = static_cast<std::size_t>(n);
      while (next < vectors.size() && written >= vectors[next].iov_len) {
        written -= vectors[next++].iov_len;
      }
      if (written > 0) {
        vectors[next].iov_base = static_cast<char*>(vectors[next].iov_base) + written;
        vectors[next].iov_len -= written;
      }
    }
  }

  void Close() override {
    if (int error = fd_.Reset(); error != 0) throw Error(WriteErrorNumber(error));
  }

  void Discard() noexcept override {
    if (fd_.get() >= 0) {
      (void)::ftruncate(fd_.get(), 0);
      fd_.Reset();
    } else {
      (void)::truncate(path_.c_str(), 0);
    }
  }

 private:
  Descriptor fd_;
  std::string path_;
};

class PosixFileSystem final : public FileSystem {
 public:
  std::unique_ptr<InputFile> OpenForReading(const std::string& path) override {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw Error(OpenErrorNumber(errno, path));
    Descriptor guard(fd);
    struct stat info;
    if (::fstat(fd, &info) != 0) throw Error(kPathFileAccessError);
    if (S_ISDIR(info.st_mode)) throw Error(kPathFileAccessError);
    // allocated before the descriptor changes hands
    return std::unique_ptr<InputFile>(new PosixInputFile(guard.Release(), info));
  }

  std::unique_ptr<OutputFile> CreateReplacing(const std::string& path,
                                              const InputFile& source) override {
    // opened without truncating, so that another name of the project file is caught first
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) throw Error(OpenErrorNumber(errno, path));
    Descriptor guard(fd);
    struct stat info;
    if (::fstat(fd, &info) != 0) throw Error(kPathFileAccessError);
    if (FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                     static_cast<std::uint64_t>(info.st_ino)} == source.Identity()) {
      throw Error(kPathFileAccessError);
    }
    if (S_ISREG(info.st_mode) && ::ftruncate(fd, 0) != 0) throw Error(OpenErrorNumber(errno, path));
    return std::unique_ptr<OutputFile>(new PosixOutputFile(guard.Release(), path));
  }

  void Replace(const std::string& path, std::string_view text) override {
    // the text goes to a hidden file beside `path` first, so that the rename that puts it
    // in place is one step on one file system
    std::size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string hidden = folder + "." + name + ".XXXXXX";
    int fd = ::mkstemp(hidden.data());
    if (fd < 0) throw FileError(OpenErrorNumber(errno, path), errno);
    PosixOutputFile file(fd, hidden);
    try {
      struct stat info;
      // a replaced file keeps its mode; a new one gets what the umask leaves of 0666
      mode_t mode = ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : DefaultMode();
      ::fchmod(fd, mode);
      std::string_view pieces[] = {text};
      file.Write(pieces);
      file.Close();
      if (::rename(hidden.c_str(), path.c_str()) != 0) {
        throw FileError(OpenErrorNumber(errno, path), errno);
      }
    } catch (...) {
      ::unlink(hidden.c_str());
      throw;
    }
  }

 private:
  static mode_t DefaultMode() {
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
  }
  static Error FileError(int number, int error) {
    return Error(number, FileRole::kConvertedFile, std::strerror(error));
  }
};

}  // namespace

FileSystem& FileSystem::Native() {
  static PosixFileSystem files;
  return files;
}

}  // namespace kefconvert::detail
