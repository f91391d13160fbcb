// The public converter and the one behind it: naming the converted file, opening the
// files, and handing the converted text to its destination.
#include "convert/converter.h"

#include <limits>
#include <memory>
#include <new>

#ifdef KEFCONVERT_CONVERSION_IN_PARTS
#include "convert/conversion_in_parts.h"
#endif

namespace kefconvert {
namespace {

// Where the last `count` characters of `path` start, counted in the UTF-16 code units that
// hosts pass paths in (a character beyond the basic plane counts two). A path whose end is
// not UTF-8 counts bytes. npos when there are fewer characters, or when the count would
// split a character in two.
std::size_t StartOfLastCharacters(std::string_view path, std::size_t count) {
  std::size_t at = path.size();
  std::size_t units = 0;
  while (units < count) {
    if (at == 0) return std::string_view::npos;
    std::size_t start = at - 1;
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(path[i]); };
    while (start > 0 && (byte(start) & 0xC0) == 0x80 && at - start < 4) --start;
    std::size_t length = at - start;
    unsigned char lead = byte(start);
    std::size_t expected = lead < 0x80             ? 1
                           : (lead & 0xE0) == 0xC0 ? 2
                           : (lead & 0xF0) == 0xE0 ? 3
                           : (lead & 0xF8) == 0xF0 ? 4
                                                   : 0;
    if (length != expected) {
      // not UTF-8: a byte is a character
      return path.size() >= count ? path.size() - count : std::string_view::npos;
    }
    units += length == 4 ? 2 : 1;
    at = start;
  }
  return units == count ? at : std::string_view::npos;
}

}  // namespace

// The four characters must belong to the file's own name, or the converted file would
// land in another folder under another file's name.
std::string ConvertedFileName(const std::string& projFile) {
  std::size_t kept = StartOfLastCharacters(projFile, 4);
  if (kept == std::string_view::npos) throw Error(kInvalidArgument);
  std::string_view dropped = std::string_view(projFile).substr(kept);
#ifdef _WIN32
  constexpr std::string_view kSeparators = "/\\:";
#else
  constexpr std::string_view kSeparators = "/";
#endif
  if (dropped.find_first_of(kSeparators) != std::string_view::npos) {
    throw Error(kInvalidArgument);
  }
  return projFile.substr(0, kept) + "_tmp.kef";
}

}  // namespace kefconvert

namespace kefconvert::detail {
namespace {

// large files are converted in parts on two threads, where the build has threads
#ifdef KEFCONVERT_CONVERSION_IN_PARTS
constexpr std::size_t kDefaultPartSize = kPartSize;
constexpr std::size_t kDefaultPartsFrom = kPartsFrom;
#else
constexpr std::size_t kDefaultPartSize = 0;
constexpr std::size_t kDefaultPartsFrom = 0;
#endif

}  // namespace

Converter::Converter(const Options& options, FileSystem& files)
    : code_page_(CodePage::Find(options.code_page)),
      files_(files),
      part_size_(kDefaultPartSize),
      parts_from_(kDefaultPartsFrom) {
  if (code_page_ == nullptr) throw Error(kInvalidArgument);
}

namespace {

// The converted text goes straight into the hidden file that will take the converted
// file's name.
class OutputFileDestination final : public TextDestination {
 public:
  explicit OutputFileDestination(OutputFile& file) : file_(file) {}
  void WriteAt(std::uint64_t offset, std::span<const std::string_view> pieces) override {
    file_.WriteAt(offset, pieces);
  }
  std::size_t ReadAt(std::uint64_t offset, char* buffer, std::size_t size) override {
    return file_.ReadAt(offset, buffer, size);
  }
  void Truncate(std::uint64_t size) override { file_.Truncate(size); }
  bool TakesWritesAtOnce() const override { return file_.TakesWritesAtOnce(); }

 private:
  OutputFile& file_;
};

}  // namespace

// A file that changed while it was read gave neither its old text nor its new one: that
// is the error, whatever the text read seemed to hold, say a file that ends too soon.
bool Converter::ConvertUnchanged(InputFile& input, Report* report, TextDestination& destination) {
  bool converted = false;
  try {
    converted = ConvertInput(input, report, destination);
  } catch (const Error&) {
    input.CheckUnchanged();
    throw;
  }
  input.CheckUnchanged();
  return converted;
}

std::optional<std::string> Converter::ConvertProject(const std::string& projFile, Report* report) {
  std::string TempFileName = ConvertedFileName(projFile);
  std::unique_ptr<InputFile> input = files_.OpenForReading(projFile);
  std::unique_ptr<OutputFile> output =
      files_.CreateReplacing(TempFileName, input.get(), AfterFailure::kEmptyFile);
  try {
    OutputFileDestination destination(*output);
    bool converted = ConvertUnchanged(*input, report, destination);
    // a file that is not a project file leaves the converted file empty
    output->Commit();
    if (!converted) return std::nullopt;
    return TempFileName;
  } catch (...) {
    // a failed conversion leaves the converted file empty, never partly written
    output->Discard();
    throw;
  }
}

bool Converter::ConvertProjectTo(const std::string& projFile, const std::string& output,
                                 Report* report) {
  std::unique_ptr<InputFile> input = files_.OpenForReading(projFile);
  // the project file's own path asks for it to be replaced; another of its names does not
  const InputFile* protected_file = output == projFile ? nullptr : input.get();
  std::unique_ptr<OutputFile> file =
      files_.CreateReplacing(output, protected_file, AfterFailure::kAsItWas);
  try {
    OutputFileDestination destination(*file);
    bool converted = ConvertUnchanged(*input, report, destination);
    // closed first: Windows does not replace a file that is open
    input.reset();
    if (!converted) {
      file->Discard();
      return false;
    }
    file->Commit();
    return true;
  } catch (...) {
    file->Discard();
    throw;
  }
}

bool Converter::ConvertProjectTo(const std::string& projFile, Sink& sink, Report* report) {
  std::unique_ptr<InputFile> input = files_.OpenForReading(projFile);
  MemoryDestination text;
  // the converted text is a little under twice the project's size: held in one allocation
  // from the start, it is never copied as it grows
  std::uint64_t hint = input->SizeHint();
  if (hint > 0 && hint < std::numeric_limits<std::size_t>::max() / 4) {
    try {
      text.Reserve(static_cast<std::size_t>(hint) * 2 + 4096);
    } catch (const std::bad_alloc&) {
      // only the head start is lost: the text grows as it comes
    }
  }
  bool converted = ConvertUnchanged(*input, report, text);
  if (converted) sink.Write(text.text());
  return converted;
}

}  // namespace kefconvert::detail

namespace kefconvert {

struct Convert::Impl {
  explicit Impl(const Options& options) : converter(options, detail::FileSystem::Native()) {}
  detail::Converter converter;
};

Convert::Convert(const Options& options) : impl_(std::make_unique<Impl>(options)) {}

Convert::~Convert() = default;

std::optional<std::string> Convert::ConvertProject(const std::string& projFile, Report* report) {
  return impl_->converter.ConvertProject(projFile, report);
}

bool Convert::ConvertProjectTo(const std::string& projFile, const std::string& output,
                               Report* report) {
  return impl_->converter.ConvertProjectTo(projFile, output, report);
}

bool Convert::ConvertProjectTo(const std::string& projFile, Sink& sink, Report* report) {
  return impl_->converter.ConvertProjectTo(projFile, sink, report);
}

}  // namespace kefconvert
