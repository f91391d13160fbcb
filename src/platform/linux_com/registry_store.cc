#include "platform/linux_com/registry_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/com/text.h"

namespace kefconvert::linux_com {
namespace {

constexpr std::string_view kHeader = "REGEDIT4";

// Keys and value names compare as in the Windows registry, without regard to case.
bool SameName(std::string_view a, std::string_view b) { return com::EqualsIgnoringCase(a, b); }

// `key` is `ancestor` itself or lies below it.
bool IsWithin(std::string_view key, std::string_view ancestor) {
  if (key.size() < ancestor.size() || !SameName(key.substr(0, ancestor.size()), ancestor)) {
    return false;
  }
  return key.size() == ancestor.size() || key[ancestor.size()] == '\\';
}

std::string Quote(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + '"';
}

// Reads a quoted string at text[i] (the opening quote), advancing i past the closing one.
std::optional<std::string> Unquote(std::string_view text, std::size_t& i) {
  if (i >= text.size() || text[i] != '"') return std::nullopt;
  std::string out;
  for (++i; i < text.size(); ++i) {
    if (text[i] == '"') {
      ++i;
      return out;
    }
    if (text[i] == '\\' && i + 1 < text.size()) ++i;
    out += text[i];
  }
  return std::nullopt;
}

struct ValueLine {
  std::string name;
  std::optional<std::string> data;  // absent for values that are not strings
};

// `"Name"="data"` or `@="data"`; no value for comments and anything else.
std::optional<ValueLine> ParseValueLine(std::string_view line) {
  std::size_t i = 0;
  ValueLine value;
  if (line.starts_with('@')) {
    i = 1;
  } else {
    std::optional<std::string> name = Unquote(line, i);
    if (!name) return std::nullopt;
    value.name = *name;
  }
  if (i >= line.size() || line[i] != '=') return std::nullopt;
  ++i;
  value.data = Unquote(line, i);
  if (value.data && i != line.size()) value.data.reset();
  return value;
}

std::string ValueLineText(std::string_view name, std::string_view data) {
  return (name.empty() ? std::string("@") : Quote(name)) + "=" + Quote(data);
}

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool MakeFolders(const std::string& folder) {
  struct stat info;
  if (stat(folder.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
  if (folder != "/" && folder != "." && !MakeFolders(FolderOf(folder))) return false;
  return mkdir(folder.c_str(), 0777) == 0 || errno == EEXIST;
}

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t written = write(fd, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

void SetError(std::string* error, const std::string& what) {
  if (error != nullptr) *error = what;
}

// The file a path names: symbolic links followed to their final target, which need not
// exist yet (a link may point at the store to be made).
std::string FinalTarget(const std::string& path) {
  constexpr int kMaxLinks = 40;  // as the kernel's own limit on a chain of links
  std::string current = path;
  for (int i = 0; i < kMaxLinks; ++i) {
    std::string target(PATH_MAX, '\0');
    ssize_t length = readlink(current.c_str(), target.data(), target.size());
    if (length < 0) return current;  // not a link (or not there): this is the file
    target.resize(static_cast<std::size_t>(length));
    current = target.starts_with('/') ? target : FolderOf(current) + "/" + target;
  }
  return current;
}

// Holds an exclusive flock on a lock file for its lifetime.
class FileLock {
 public:
  explicit FileLock(const std::string& path)
      : fd_(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666)) {
    if (fd_ < 0) return;
    while (flock(fd_, LOCK_EX) != 0) {
      if (errno == EINTR) continue;
      close(fd_);
      fd_ = -1;
      return;
    }
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock() {
    if (fd_ >= 0) close(fd_);  // closing releases the lock
  }
  bool held() const { return fd_ >= 0; }

 private:
  int fd_;
};

}  // namespace

std::optional<RegistryStore> RegistryStore::Parse(std::string_view text) {
  RegistryStore store;
  bool header_seen = false;
  std::istringstream lines{std::string(text)};
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!header_seen) {
      if (line.empty()) continue;
      if (line != kHeader) return std::nullopt;
      header_seen = true;
    } else if (line.starts_with('[') && line.ends_with(']')) {
      store.sections_.push_back({line.substr(1, line.size() - 2), {}});
    } else if (store.sections_.empty()) {
      store.preamble_.push_back(line);
    } else if (!line.empty()) {
      store.sections_.back().lines.push_back(line);
    }
  }
  // the blank line before the first section is the one Text() writes before every section
  while (!store.preamble_.empty() && store.preamble_.back().empty()) {
    store.preamble_.pop_back();
  }
  return store;
}

std::string RegistryStore::Text() const {
  std::string text(kHeader);
  text += '\n';
  for (const std::string& line : preamble_) text += line + '\n';
  for (const Section& section : sections_) {
    text += "\n[" + section.key + "]\n";
    for (const std::string& line : section.lines) text += line + '\n';
  }
  return text;
}

RegistryStore::Section* RegistryStore::Find(std::string_view key) {
  auto found = std::find_if(sections_.begin(), sections_.end(),
                            [key](const Section& s) { return SameName(s.key, key); });
  return found == sections_.end() ? nullptr : &*found;
}

const RegistryStore::Section* RegistryStore::Find(std::string_view key) const {
  return const_cast<RegistryStore*>(this)->Find(key);
}

std::optional<std::string> RegistryStore::Value(std::string_view key, std::string_view name) const {
  const Section* section = Find(key);
  if (section == nullptr) return std::nullopt;
  for (const std::string& line : section->lines) {
    std::optional<ValueLine> value = ParseValueLine(line);
    if (value && SameName(value->name, name)) return value->data;
  }
  return std::nullopt;
}

bool RegistryStore::CanHold(std::string_view text) {
  return text.find_first_of("\r\n") == std::string_view::npos;
}

bool RegistryStore::SetValue(std::string_view key, std::string_view name, std::string_view data) {
  if (!CanHold(key) || !CanHold(name) || !CanHold(data)) return false;
  Section* section = Find(key);
  if (section == nullptr) {
    sections_.push_back({std::string(key), {}});
    section = &sections_.back();
  }
  for (std::string& line : section->lines) {
    std::optional<ValueLine> value = ParseValueLine(line);
    if (value && SameName(value->name, name)) {
      line = ValueLineText(name, data);
      return true;
    }
  }
  section->lines.push_back(ValueLineText(name, data));
  return true;
}

bool RegistryStore::HasKey(std::string_view key) const {
  return std::any_of(sections_.begin(), sections_.end(),
                     [key](const Section& s) { return IsWithin(s.key, key); });
}

void RegistryStore::RemoveTree(std::string_view key) {
  std::erase_if(sections_, [key](const Section& s) { return IsWithin(s.key, key); });
}

void RegistryStore::RemoveIfEmpty(std::string_view key) {
  const Section* section = Find(key);
  if (section == nullptr || !section->lines.empty()) return;
  bool has_subkeys = std::any_of(sections_.begin(), sections_.end(), [key](const Section& s) {
    return s.key.size() > key.size() && IsWithin(s.key, key);
  });
  if (!has_subkeys) RemoveTree(key);
}

std::string DefaultStorePath() {
  const char* explicit_path = std::getenv("KEFCONVERT_REGISTRY");
  if (explicit_path != nullptr && *explicit_path != '\0') return explicit_path;
  const char* data_home = std::getenv("XDG_DATA_HOME");
  if (data_home != nullptr && *data_home == '/') {
    return std::string(data_home) + "/kefconvert/registry.reg";
  }
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/.local/share/kefconvert/registry.reg";
}

std::optional<RegistryStore> LoadStore(const std::string& path, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (errno == ENOENT) return RegistryStore();
    SetError(error, path + ": " + std::strerror(errno));
    return std::nullopt;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) {
    SetError(error, path + ": cannot be read");
    return std::nullopt;
  }
  std::optional<RegistryStore> store = RegistryStore::Parse(text.str());
  if (!store) SetError(error, path + ": not a registry file (no \"REGEDIT4\" line)");
  return store;
}

bool SaveStore(const std::string& path, const RegistryStore& store, std::string* error) {
  std::string file = FinalTarget(path);
  std::string folder = FolderOf(file);
  if (!MakeFolders(folder)) {
    SetError(error, folder + ": " + std::strerror(errno));
    return false;
  }
  struct stat old;
  mode_t mode = stat(file.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
  std::string temp = file + ".XXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) {
    SetError(error, temp + ": " + std::strerror(errno));
    return false;
  }
  bool written = WriteAll(fd, store.Text()) && fchmod(fd, mode) == 0 && fsync(fd) == 0;
  written = close(fd) == 0 && written;
  if (!written || rename(temp.c_str(), file.c_str()) != 0) {
    SetError(error, file + ": " + std::strerror(errno));
    unlink(temp.c_str());
    return false;
  }
  return true;
}

bool UpdateStore(const std::string& path, const std::function<bool(RegistryStore&)>& change,
                 std::string* error) {
  std::string file = FinalTarget(path);
  std::string folder = FolderOf(file);
  if (!MakeFolders(folder)) {
    SetError(error, folder + ": " + std::strerror(errno));
    return false;
  }
  FileLock lock(file + ".lock");
  if (!lock.held()) {
    SetError(error, file + ".lock: " + std::strerror(errno));
    return false;
  }
  std::optional<RegistryStore> store = LoadStore(file, error);
  if (!store) return false;
  if (!change(*store)) return true;
  return SaveStore(file, *store, error);
}

}  // namespace kefconvert::linux_com
