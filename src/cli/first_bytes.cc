#include "cli/first_bytes.h"

#include <algorithm>

namespace kefconvert::cli {
namespace {

class KeepingInputFile final : public detail::InputFile {
 public:
  KeepingInputFile(std::unique_ptr<detail::InputFile> file, std::string& kept, std::size_t count)
      : file_(std::move(file)), kept_(kept), count_(count) {}

  std::size_t Read(char* buffer, std::size_t size) override {
    std::size_t n = file_->Read(buffer, size);
    if (kept_.size() < count_) kept_.append(buffer, std::min(n, count_ - kept_.size()));
    return n;
  }
  std::uint64_t SizeHint() const override { return file_->SizeHint(); }
  detail::FileIdentity Identity() const override { return file_->Identity(); }
  void CheckUnchanged() const override { file_->CheckUnchanged(); }

 private:
  std::unique_ptr<detail::InputFile> file_;
  std::string& kept_;
  std::size_t count_;
};

}  // namespace

std::unique_ptr<detail::InputFile> FirstBytesKept::OpenForReading(const std::string& path) {
  bytes_.clear();
  return std::make_unique<KeepingInputFile>(Native().OpenForReading(path), bytes_, count_);
}

std::unique_ptr<detail::OutputFile> FirstBytesKept::CreateReplacing(
    const std::string& path, const detail::InputFile& source) {
  return Native().CreateReplacing(path, source);
}

}  // namespace kefconvert::cli
