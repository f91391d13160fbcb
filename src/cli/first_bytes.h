// The project file's first bytes, kept as the conversion reads them, so that the tool can
// say why a file is not a project file without opening it again (a FIFO or a device
// would not give the same bytes twice, and opening a FIFO again may block forever).
#ifndef KEFCONVERT_CLI_FIRST_BYTES_H_
#define KEFCONVERT_CLI_FIRST_BYTES_H_

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "convert/file_layer.h"

namespace kefconvert::cli {

/// The platform's file layer, keeping the first bytes read from the file opened last.
class FirstBytesKept final : public detail::FileSystem {
 public:
  /// Keeps up to `count` bytes.
  explicit FirstBytesKept(std::size_t count) : count_(count) {}
  FirstBytesKept(const FirstBytesKept&) = delete;
  FirstBytesKept& operator=(const FirstBytesKept&) = delete;

  /// What the last conversion read first, at most `count` bytes.
  std::string_view bytes() const { return bytes_; }

  std::unique_ptr<detail::InputFile> OpenForReading(const std::string& path) override;
  std::unique_ptr<detail::OutputFile> CreateReplacing(const std::string& path,
                                                      const detail::InputFile& source) override;

 private:
  std::size_t count_;
  std::string bytes_;
};

}  // namespace kefconvert::cli

#endif  // KEFCONVERT_CLI_FIRST_BYTES_H_
