// The file layer on Windows: Win32 file handles opened by wide-character name (the library
// speaks UTF-8). The converted text goes to a new file beside the converted name
// (".NAME_tmp.kef.XXXXXX"), which then replaces the name with MoveFileExW. Error numbers
// match the POSIX layer.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <string>

#include "convert/file_layer.h"
#include "kefconvert/kefconvert.h"

namespace kefconvert::detail {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// UTF-8 to UTF-16. A name that is not UTF-8 cannot name any file.
std::wstring WidePath(const std::string& path) {
  if (path.empty()) return {};
  if (path.size() > static_cast<std::size_t>(INT_MAX)) throw Error(kPathFileAccessError);
  int size = static_cast<int>(path.size());
  int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), size, nullptr, 0);
  if (length <= 0) throw Error(kPathFileAccessError);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), size, wide.data(), length);
  // an embedded NUL would cut the name short and open another file
  if (wide.find(L'\0') != std::wstring::npos) throw Error(kPathFileAccessError);
  return wide;
}

bool IsFolder(const std::wstring& path) {
  DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int OpenErrorNumber(DWORD error, const std::wstring& path) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND: return kFileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME: return kPathNotFound;
    // Windows refuses to open a folder as a file with "access denied"
    case ERROR_ACCESS_DENIED: return IsFolder(path) ? kPathFileAccessError : kPermissionDenied;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT: return kPermissionDenied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return kDiskFull;
    default: return kPathFileAccessError;
  }
}

int WriteErrorNumber(DWORD error) {
  return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL ? kDiskFull : kDeviceIOError;
}

// What the system says about `error`, in UTF-8 and without the line end it comes with.
std::string SystemReason(DWORD error) {
  if (error == 0) return {};
  wchar_t* text = nullptr;
  DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string reason;
  if (length > 0) {
    int size = ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0,
                                     nullptr, nullptr);
    reason.resize(static_cast<std::size_t>(std::max(size, 0)));
    ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), reason.data(), size, nullptr,
                          nullptr);
  }
  if (text != nullptr) ::LocalFree(text);
  while (!reason.empty() &&
         (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' ')) {
    reason.pop_back();
  }
  return reason;
}

Error ProjectFileError(int number, DWORD error) {
  return Error(number, FileRole::kProjectFile, SystemReason(error));
}

Error ConvertedFileError(int number, DWORD error) {
  return Error(number, FileRole::kConvertedFile, SystemReason(error));
}

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { Reset(); }
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Release() {
    HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle;
  }
  /// Closes the handle; returns the error of a failed close, or 0.
  DWORD Reset() {
    if (!valid()) return 0;
    BOOL closed = ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return closed ? 0 : ::GetLastError();
  }

 private:
  HANDLE handle_;
};

FileIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION& info) {
  return {info.dwVolumeSerialNumber,
          (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

bool QueryInformation(HANDLE handle, BY_HANDLE_FILE_INFORMATION& info) {
  return ::GetFileInformationByHandle(handle, &info) != 0;
}

class Win32InputFile final : public InputFile {
 public:
  Win32InputFile(HANDLE handle, const BY_HANDLE_FILE_INFORMATION& info)
      : handle_(handle), info_(info), on_disk_(::GetFileType(handle) == FILE_TYPE_DISK) {}

  std::size_t Read(char* buffer, std::size_t size) override {
    DWORD count = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    DWORD read = 0;
    if (!::ReadFile(handle_.get(), buffer, count, &read, nullptr)) {
      throw ProjectFileError(kDeviceIOError, ::GetLastError());
    }
    return read;
  }
  std::uint64_t SizeHint() const override { return SizeOf(info_); }
  FileIdentity Identity() const override { return IdentityOf(info_); }
  void CheckUnchanged() const override {
    if (!on_disk_) return;  // a pipe or device has no size to compare
    BY_HANDLE_FILE_INFORMATION now;
    if (!QueryInformation(handle_.get(), now)) {
      throw ProjectFileError(kDeviceIOError, ::GetLastError());
    }
    if (SizeOf(now) != SizeOf(info_) ||
        ::CompareFileTime(&now.ftLastWriteTime, &info_.ftLastWriteTime) != 0) {
      throw Error(kDeviceIOError, FileRole::kProjectFile, "the file changed while it was read");
    }
  }

 private:
  static std::uint64_t SizeOf(const BY_HANDLE_FILE_INFORMATION& info) {
    return (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  }

  Handle handle_;
  BY_HANDLE_FILE_INFORMATION info_;
  bool on_disk_;
};

OVERLAPPED At(std::uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

class Win32OutputFile final : public OutputFile {
 public:
  Win32OutputFile(HANDLE handle, std::wstring hidden, std::wstring converted,
                  AfterFailure after_failure)
      : handle_(handle),
        hidden_(std::move(hidden)),
        converted_(std::move(converted)),
        after_failure_(after_failure) {}
  Win32OutputFile(const Win32OutputFile&) = delete;
  Win32OutputFile& operator=(const Win32OutputFile&) = delete;
  ~Win32OutputFile() override { Discard(); }

  void WriteAt(std::uint64_t offset, std::span<const std::string_view> pieces) override {
    for (std::string_view piece : pieces) {
      while (!piece.empty()) {
        DWORD count = static_cast<DWORD>(std::min<std::size_t>(piece.size(), 1u << 30));
        DWORD written = 0;
        OVERLAPPED at = At(offset);
        if (!::WriteFile(handle_.get(), piece.data(), count, &written, &at)) {
          DWORD error = ::GetLastError();
          throw ConvertedFileError(WriteErrorNumber(error), error);
        }
        if (written == 0) throw ConvertedFileError(kDeviceIOError, 0);
        piece.remove_prefix(written);
        offset += written;
      }
    }
  }

  std::size_t ReadAt(std::uint64_t offset, char* buffer, std::size_t size) override {
    std::size_t done = 0;
    while (done < size) {
      DWORD count = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
      DWORD read = 0;
      OVERLAPPED at = At(offset + done);
      if (!::ReadFile(handle_.get(), buffer + done, count, &read, &at)) {
        DWORD error = ::GetLastError();
        if (error == ERROR_HANDLE_EOF) break;
        throw ConvertedFileError(kDeviceIOError, error);
      }
      if (read == 0) break;
      done += read;
    }
    return done;
  }

  void Commit() override {
    if (DWORD error = handle_.Reset(); error != 0) {
      throw ConvertedFileError(WriteErrorNumber(error), error);
    }
    // replaces the name itself: a link there is replaced, not followed
    if (!::MoveFileExW(hidden_.c_str(), converted_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      DWORD error = ::GetLastError();
      throw ConvertedFileError(OpenErrorNumber(error, converted_), error);
    }
    done_ = true;
  }

  void Discard() noexcept override {
    if (done_) return;
    done_ = true;
    if (after_failure_ == AfterFailure::kAsItWas) {
      handle_.Reset();
      ::DeleteFileW(hidden_.c_str());
      return;
    }
    if (handle_.valid()) {
      LARGE_INTEGER start{};
      if (::SetFilePointerEx(handle_.get(), start, nullptr, FILE_BEGIN)) {
        ::SetEndOfFile(handle_.get());
      }
      handle_.Reset();
    } else {
      Handle emptied(::CreateFileW(hidden_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                   TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    // the converted name holds an empty file, as after any failure
    if (!::MoveFileExW(hidden_.c_str(), converted_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      ::DeleteFileW(hidden_.c_str());
    }
  }


  void Truncate(std::uint64_t size) override {
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    if (!::SetFilePointerEx(handle_.get(), end, nullptr, FILE_BEGIN) ||
        !::SetEndOfFile(handle_.get())) {
      DWORD error = ::GetLastError();
      throw ConvertedFileError(WriteErrorNumber(error), error);
    }
  }
 private:
  Handle handle_;
  std::wstring hidden_;
  std::wstring converted_;
  AfterFailure after_failure_;
  bool done_ = false;
};

// Whether `path` names the file `source`, found without opening it for any access, so
// that the answer comes even while the file is open elsewhere.
bool NamesFile(const std::wstring& path, const InputFile& source) {
  Handle file(::CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  return file.valid() && QueryInformation(file.get(), info) &&
         IdentityOf(info) == source.Identity();
}

// "FOLDER\.NAME.XXXXXX": recognisably the converted file's, and new each time.
std::wstring HiddenPathFor(const std::wstring& path, unsigned attempt) {
  static std::atomic<unsigned> counter{0};
  std::size_t slash = path.find_last_of(L"\\/:");
  std::size_t name = slash == std::wstring::npos ? 0 : slash + 1;
  unsigned long long seed = (static_cast<unsigned long long>(::GetCurrentProcessId()) << 32) ^
                            (counter.fetch_add(1) * 2654435761u) ^ ::GetTickCount64() ^ attempt;
  std::wstring suffix = L".";
  for (int i = 0; i < 6; ++i, seed /= 36)
    suffix += L"abcdefghijklmnopqrstuvwxyz0123456789"[seed % 36];
  return path.substr(0, name) + L"." + path.substr(name) + suffix;
}

class Win32FileSystem final : public FileSystem {
 public:
  std::unique_ptr<InputFile> OpenForReading(const std::string& path) override {
    std::wstring wide = WidePath(path);
    // shared like a POSIX descriptor: others may keep writing to or removing the file
    Handle file(::CreateFileW(wide.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
      DWORD error = ::GetLastError();
      throw ProjectFileError(OpenErrorNumber(error, wide), error);
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!QueryInformation(file.get(), info)) {
      throw ProjectFileError(kPathFileAccessError, ::GetLastError());
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      throw ProjectFileError(kPathFileAccessError, ERROR_DIRECTORY);
    }
    // allocated before the handle changes hands
    return std::unique_ptr<InputFile>(new Win32InputFile(file.Release(), info));
  }

  std::unique_ptr<OutputFile> CreateReplacing(const std::string& path, const InputFile* source,
                                              AfterFailure after_failure) override {
    std::wstring wide = WidePath(path);
    DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
      CheckReplaceable(wide, attributes, source);
    } else if (DWORD error = ::GetLastError(); error != ERROR_FILE_NOT_FOUND) {
      throw ConvertedFileError(OpenErrorNumber(error, wide), error);
    }
    for (unsigned attempt = 0;; ++attempt) {
      std::wstring hidden = HiddenPathFor(wide, attempt);
      Handle file(::CreateFileW(hidden.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
      if (file.valid()) {
        return std::unique_ptr<OutputFile>(
            new Win32OutputFile(file.Release(), std::move(hidden), std::move(wide), after_failure));
      }
      DWORD error = ::GetLastError();
      if (error != ERROR_FILE_EXISTS || attempt == 100) {
        throw ConvertedFileError(OpenErrorNumber(error, wide), error);
      }
    }
  }

 private:
  // The converted name may be replaced when it is a file the caller may write (opened as
  // it always was: for writing, others may read) or a link; a folder or a device is refused.
  static void CheckReplaceable(const std::wstring& path, DWORD attributes,
                               const InputFile* source) {
    bool link = attributes & FILE_ATTRIBUTE_REPARSE_POINT;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !link) {
      throw ConvertedFileError(kPathFileAccessError, ERROR_DIRECTORY);
    }
    if (source != nullptr && NamesFile(path, *source)) {
      throw Error(kPathFileAccessError, FileRole::kConvertedFile, "it is the project file");
    }
    if (link) return;
    Handle file(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.valid()) {
      DWORD error = ::GetLastError();
      throw ConvertedFileError(OpenErrorNumber(error, path), error);
    }
    if (::GetFileType(file.get()) != FILE_TYPE_DISK) {
      throw Error(kPathFileAccessError, FileRole::kConvertedFile, "not a regular file");
    }
  }

};

}  // namespace

FileSystem& FileSystem::Native() {
  static Win32FileSystem files;
  return files;
}

}  // namespace kefconvert::detail
