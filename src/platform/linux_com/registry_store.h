// The registry of the Linux layer: one text file in the Windows .reg format ("REGEDIT4",
// then a "[HKEY_CLASSES_ROOT\...]" section per key with its "Name"="value" lines), which
// registration writes and activation reads. Keys compare without regard to case, as in
// the Windows registry. Sections and lines this code does not write are kept as they are,
// and so are comment and blank lines before the first key. Writers change the file under a
// lock (UpdateStore); readers need none, since a save replaces the file in one rename.
#ifndef KEFCONVERT_PLATFORM_LINUX_COM_REGISTRY_STORE_H_
#define KEFCONVERT_PLATFORM_LINUX_COM_REGISTRY_STORE_H_

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kefconvert::linux_com {

/// The root of every key in the store: COM registers below HKEY_CLASSES_ROOT only.
inline constexpr char kClassesRoot[] = "HKEY_CLASSES_ROOT\\";

class RegistryStore {
 public:
  /// Reads the text of a store; no value when it does not begin with "REGEDIT4". An empty
  /// text is an empty store.
  static std::optional<RegistryStore> Parse(std::string_view text);
  /// The text to save: "REGEDIT4", the lines that stood before the first key, then every
  /// section after a blank line.
  std::string Text() const;

  /// False for text the file's line format cannot hold: a CR or LF in it.
  static bool CanHold(std::string_view text);

  /// The string value `name` of `key` ("" names the default value, written "@").
  std::optional<std::string> Value(std::string_view key, std::string_view name) const;
  /// Sets a string value, adding its key at the end when it is new. False, and the store
  /// unchanged, when the key, the name or the data cannot be held (CanHold).
  bool SetValue(std::string_view key, std::string_view name, std::string_view data);
  /// True when `key` or a key below it is in the store.
  bool HasKey(std::string_view key) const;
  /// Removes `key` and every key below it.
  void RemoveTree(std::string_view key);
  /// Removes the section of `key` when it holds no values and no key lies below it.
  void RemoveIfEmpty(std::string_view key);

 private:
  struct Section {
    std::string key;
    std::vector<std::string> lines;  // value lines and comments, as read or written
  };

  Section* Find(std::string_view key);
  const Section* Find(std::string_view key) const;

  std::vector<std::string> preamble_;  // comments and blank lines before the first key
  std::vector<Section> sections_;
};

/// $KEFCONVERT_REGISTRY, else $XDG_DATA_HOME/kefconvert/registry.reg, else
/// ~/.local/share/kefconvert/registry.reg.
std::string DefaultStorePath();

/// The store in the file `path`; an empty store when there is no such file. No value when
/// the file cannot be read or is not a store; `error` then says why.
std::optional<RegistryStore> LoadStore(const std::string& path, std::string* error);

/// Saves `store` to `path` through a temporary file in the same folder and a rename, so
/// that readers see the old or the new store, never half of one. Creates missing folders.
/// A `path` that is a symbolic link is followed: its target is replaced, the link stays. The
/// file keeps its permission bits; a new one gets rw-r--r--.
bool SaveStore(const std::string& path, const RegistryStore& store, std::string* error);

/// Reads the store in `path`, lets `change` edit it and saves it when `change` returns true,
/// all under an exclusive lock (flock) on the file PATH.lock beside the store's file, which
/// stays there; so writers in several processes each see what the others saved. False, with
/// `error` saying why, when the store cannot be locked, read or saved.
bool UpdateStore(const std::string& path, const std::function<bool(RegistryStore&)>& change,
                 std::string* error);

}  // namespace kefconvert::linux_com

#endif  // KEFCONVERT_PLATFORM_LINUX_COM_REGISTRY_STORE_H_
