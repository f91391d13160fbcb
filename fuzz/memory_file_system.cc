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
    if (offset_ >= fail_at_) throw Error(kDeviceIOError);
    std::size_t n = std::min({size, piece_, bytes_.size() - offset_, fail_at_ - offset_});
    if (n > 0) std::memcpy(buffer, bytes_.data() + offset_, n);
    offset_ += n;
    return n;
  }
  std::uint64_t SizeHint() const override { return bytes_.size(); }
  detail::FileIdentity Identity() const override { return {0, id_}; }

 private:
  std::uint64_t id_;
  std::string_view bytes_;
  std::size_t piece_;
  std::size_t fail_at_;
  std::size_t offset_ = 0;
};

}  // namespace

class MemoryOutputFile final : public detail::OutputFile {
 public:
  MemoryOutputFile(MemoryFileSystem& files, std::string& bytes) : files_(files), bytes_(bytes) {}

  void Write(std::span<const std::string_view> pieces) override {
    ++files_.writes_;
    std::size_t before = bytes_.size();
    for (std::string_view piece : pieces) bytes_.append(piece);
    if (files_.fail_writing_) {
      bytes_.resize(before + (bytes_.size() - before) / 2);
      throw Error(kDiskFull);
    }
  }
  void Close() override { ++files_.closes_; }
  void Discard() noexcept override {
    ++files_.discards_;
    bytes_.clear();
  }

 private:
  MemoryFileSystem& files_;
  std::string& bytes_;
};

void MemoryFileSystem::Put(const std::string& path, std::string_view bytes) {
  EntryFor(path).bytes.assign(bytes);
}

const std::string* MemoryFileSystem::Find(const std::string& path) const {
  auto found = files_.find(path);
  return found == files_.end() ? nullptr : &found->second.bytes;
}

MemoryFileSystem::Entry& MemoryFileSystem::EntryFor(const std::string& path) {
  auto [entry, added] = files_.try_emplace(path, Entry{next_id_, {}});
  if (added) ++next_id_;
  return entry->second;
}

std::unique_ptr<detail::InputFile> MemoryFileSystem::OpenForReading(const std::string& path) {
  auto found = files_.find(path);
  if (found == files_.end()) throw Error(kFileNotFound);
  return std::make_unique<MemoryInputFile>(found->second.id, found->second.bytes, read_piece_,
                                           fail_reading_at_);
}

std::unique_ptr<detail::OutputFile> MemoryFileSystem::CreateReplacing(
    const std::string& path, const detail::InputFile& source) {
  Entry& entry = EntryFor(path);
  if (detail::FileIdentity{0, entry.id} == source.Identity()) throw Error(kPathFileAccessError);
  ++creates_;
  entry.bytes.clear();
  return std::make_unique<MemoryOutputFile>(*this, entry.bytes);
}

}  // namespace kefconvert::fuzz

namespace kefconvert::fuzz {

void MemoryFileSystem::Replace(const std::string& path, std::string_view text) {
  ++creates_;
  ++writes_;
  if (fail_writing_) throw Error(kDiskFull);
  EntryFor(path).bytes.assign(text);
}

}  // namespace kefconvert::fuzz
