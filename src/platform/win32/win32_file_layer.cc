// The file layer on Windows: Win32 file handles opened by wide-character name (the library
// speaks UTF-8), one WriteFile run for the whole text. Error numbers match the POSIX layer.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
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
      : handle_(handle), info_(info) {}

  std::size_t Read(char* buffer, std::size_t size) override {
    DWORD count = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    DWORD read = 0;
    if (!::ReadFile(handle_.get(), buffer, count, &read, nullptr)) throw Error(kDeviceIOError);
    return read;
  }
  std::uint64_t SizeHint() const override {
    return (static_cast<std::uint64_t>(info_.nFileSizeHigh) << 32) | info_.nFileSizeLow;
  }
  FileIdentity Identity() const override { return IdentityOf(info_); }

 private:
  Handle handle_;
  BY_HANDLE_FILE_INFORMATION info_;
};

class Win32OutputFile final : public OutputFile {
 public:
  Win32OutputFile(HANDLE handle, std::wstring path) : handle_(handle), path_(std::move(path)) {}

  void Write(std::span<const std::string_view> pieces) override {
    for (std::string_view piece : pieces) {
      while (!piece.empty()) {
        DWORD count = static_cast<DWORD>(std::min<std::size_t>(piece.size(), 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(handle_.get(), piece.data(), count, &written, nullptr)) {
          throw Error(WriteErrorNumber(::GetLastError()));
        }
        if (written == 0) throw Error(kDeviceIOError);
        piece.remove_prefix(written);
      }
    }
  }

  void Close() override {
    if (DWORD error = handle_.Reset(); error != 0) throw Error(WriteErrorNumber(error));
  }

  void Discard() noexcept override {
    if (handle_.valid()) {
      LARGE_INTEGER start{};
      if (::SetFilePointerEx(handle_.get(), start, nullptr, FILE_BEGIN)) {
        ::SetEndOfFile(handle_.get());
      }
      handle_.Reset();
    } else {
      Handle file(::CreateFileW(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    }
  }

 private:
  Handle handle_;
  std::wstring path_;
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

class Win32FileSystem final : public FileSystem {
 public:
  std::unique_ptr<InputFile> OpenForReading(const std::string& path) override {
    std::wstring wide = WidePath(path);
    // shared like a POSIX descriptor: others may keep writing to or removing the file
    Handle file(::CreateFileW(wide.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) throw Error(OpenErrorNumber(::GetLastError(), wide));
    BY_HANDLE_FILE_INFORMATION info;
    if (!QueryInformation(file.get(), info)) throw Error(kPathFileAccessError);
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) throw Error(kPathFileAccessError);
    // allocated before the handle changes hands
    return std::unique_ptr<InputFile>(new Win32InputFile(file.Release(), info));
  }

  std::unique_ptr<OutputFile> CreateReplacing(const std::string& path,
                                              const InputFile& source) override {
    std::wstring wide = WidePath(path);
    // opened without truncating, so that another name of the project file is caught first
    Handle file(::CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
      DWORD error = ::GetLastError();
      // a program that holds the file without write sharing keeps it from being
      // opened; when that file is the project file under another name, say so
      if (error == ERROR_SHARING_VIOLATION && NamesFile(wide, source)) {
        throw Error(kPathFileAccessError);
      }
      throw Error(OpenErrorNumber(error, wide));
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!QueryInformation(file.get(), info)) throw Error(kPathFileAccessError);
    if (IdentityOf(info) == source.Identity()) throw Error(kPathFileAccessError);
    if (::GetFileType(file.get()) == FILE_TYPE_DISK && !::SetEndOfFile(file.get())) {
      throw Error(OpenErrorNumber(::GetLastError(), wide));
    }
    return std::unique_ptr<OutputFile>(new Win32OutputFile(file.Release(), std::move(wide)));
  }

  void Replace(const std::string& path, std::string_view text) override {
    // the text goes to a hidden file beside `path` first, so that the move that puts it
    // in place is one step on one volume
    std::wstring wide = WidePath(path);
    std::wstring hidden = wide + L".kefconvert-" + std::to_wstring(::GetCurrentProcessId());
    Handle file(::CreateFileW(hidden.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_HIDDEN, nullptr));
    if (!file.valid()) throw Error(OpenErrorNumber(::GetLastError(), wide));
    Win32OutputFile output(file.Release(), hidden);
    try {
      std::string_view pieces[] = {text};
      output.Write(pieces);
      output.Close();
      if (!::MoveFileExW(hidden.c_str(), wide.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        throw Error(OpenErrorNumber(::GetLastError(), wide));
      }
      ::SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
    } catch (...) {
      ::DeleteFileW(hidden.c_str());
      throw;
    }
  }
};

}  // namespace

FileSystem& FileSystem::Native() {
  static Win32FileSystem files;
  return files;
}

}  // namespace kefconvert::detail
