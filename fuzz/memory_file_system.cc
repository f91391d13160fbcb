#include "memory_file_system.h"

#include <algorithm>
#include <cstring>

#include "kefconvert/kefconvert.h"

namespace kefconvert::fuzz {
namespace {

class MemoryInputFile final : public detail::InputFile {
 public:
  MemoryInputFile(std::uint64_t id, std::string_view bytes, std::size_t piece, std::size_t fail_at)
      : id_(id), bytes_(bytes), piece_(piece), fail_at_(fail_at) {}

  std::size_t Read(char* buffer, std::size_t size) override {
    if (offset_ >= fail_at_) throw Error(kDeviceIOError, FileRole::kProjectFile, "");
    std::size_t n = std::min({size, piece_, bytes_.size() - offset_, fail_at_ - offset_});
    if (n > 0) std::memcpy(buffer, bytes_.data() + offset_, n);
    offset_ += n;
    return n;
  }
  std::uint64_t SizeHint() const override { return bytes_.size(); }
  detail::FileIdentity Identity() const override { return {0, id_}; }
  // nothing else runs while a conversion reads a file in memory
  void CheckUnchanged() const override {}

 private:
  std::uint64_t id_;
  std::string_view bytes_;
  std::size_t piece_;
  std::size_t fail_at_;
  std::size_t offset_ = 0;
};

std::string HiddenPathFor(const std::string& path) {
  std::size_t name = path.rfind('/') + 1;  // 0 when there is no folder
  return path.substr(0, name) + "." + path.substr(name) + ".tmp";
}

}  // namespace

class MemoryOutputFile final : public detail::OutputFile {
 public:
  MemoryOutputFile(MemoryFileSystem& files, std::string hidden, std::string path,
                   detail::AfterFailure after_failure)
      : files_(files),
        hidden_(std::move(hidden)),
        path_(std::move(path)),
        after_failure_(after_failure) {}

  void WriteAt(std::uint64_t offset, std::span<const std::string_view> pieces) override {
    std::string text;
    for (std::string_view piece : pieces) text += piece;
    bool fails = ++files_.writes_ == files_.fail_writing_at_;
    if (fails) text.resize(text.size() / 2);
    std::string& bytes = files_.files_.at(hidden_).bytes;
    if (bytes.size() < offset + text.size()) bytes.resize(offset + text.size());
    bytes.replace(offset, text.size(), text);
    if (fails) throw Error(kDiskFull, FileRole::kConvertedFile, "");
  }
  std::size_t ReadAt(std::uint64_t offset, char* buffer, std::size_t size) override {
    const std::string& bytes = files_.files_.at(hidden_).bytes;
    if (offset >= bytes.size()) return 0;
    std::size_t n = std::min<std::size_t>(size, bytes.size() - offset);
    std::memcpy(buffer, bytes.data() + offset, n);
    return n;
  }
  void Commit() override {
    ++files_.commits_;
    files_.Rename(hidden_, path_);
    committed_ = true;
  }
  void Discard() noexcept override {
    if (committed_) return;
    committed_ = true;
    ++files_.discards_;
    if (after_failure_ == detail::AfterFailure::kAsItWas) {
      files_.files_.erase(hidden_);
      return;
    }
    files_.files_.at(hidden_).bytes.clear();
    files_.Rename(hidden_, path_);
  }
  void Truncate(std::uint64_t size) override {
    files_.files_.at(hidden_).bytes.resize(static_cast<std::size_t>(size));
  }


 private:
  MemoryFileSystem& files_;
  std::string hidden_;
  std::string path_;
  detail::AfterFailure after_failure_;
  bool committed_ = false;
};

void MemoryFileSystem::Put(const std::string& path, std::string_view bytes) {
  EntryFor(path).bytes.assign(bytes);
}

const std::string* MemoryFileSystem::Find(const std::string& path) const {
  auto found = files_.find(path);
  return found == files_.end() ? nullptr : &found->second.bytes;
}

std::vector<std::string> MemoryFileSystem::Paths() const {
  std::vector<std::string> paths;
  for (const auto& [path, entry] : files_) paths.push_back(path);
  return paths;
}

MemoryFileSystem::Entry& MemoryFileSystem::EntryFor(const std::string& path) {
  auto [entry, added] = files_.try_emplace(path, Entry{next_id_, {}});
  if (added) ++next_id_;
  return entry->second;
}

void MemoryFileSystem::Rename(const std::string& hidden, const std::string& path) {
  auto node = files_.extract(hidden);
  files_.insert_or_assign(path, std::move(node.mapped()));
}

std::unique_ptr<detail::InputFile> MemoryFileSystem::OpenForReading(const std::string& path) {
  auto found = files_.find(path);
  if (found == files_.end()) throw Error(kFileNotFound, FileRole::kProjectFile, "");
  return std::make_unique<MemoryInputFile>(found->second.id, found->second.bytes, read_piece_,
                                           fail_reading_at_);
}

std::unique_ptr<detail::OutputFile> MemoryFileSystem::CreateReplacing(
    const std::string& path, const detail::InputFile* source, detail::AfterFailure after_failure) {
  auto existing = files_.find(path);
  if (existing != files_.end() && source != nullptr &&
      detail::FileIdentity{0, existing->second.id} == source->Identity()) {
    throw Error(kPathFileAccessError, FileRole::kConvertedFile, "");
  }
  ++creates_;
  std::string hidden = HiddenPathFor(path);
  EntryFor(hidden).bytes.clear();
  return std::make_unique<MemoryOutputFile>(*this, std::move(hidden), path, after_failure);
}

}  // namespace kefconvert::fuzz
