// A large project file converted in parts on two threads. A part ends with a "<Table>"
// line (see PartReader), so a part converted before the parts above it knows everything
// but a few facts, which it guesses (see Guesses). Each thread reads a part, converts it,
// waits for its turn, checks the guesses the part relied on against the facts the parts
// above it left (converting it again where one was wrong), takes its place in the text,
// and writes it there while the other thread goes on. Each thread works on text it read
// and made itself, so little of it crosses between the processors' caches.
//
// The text, the errors and the report's findings are those of a conversion in one piece.
#ifndef KEFCONVERT_CONVERT_CONVERSION_IN_PARTS_H_
#define KEFCONVERT_CONVERT_CONVERSION_IN_PARTS_H_

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "convert/code_page.h"
#include "convert/defaults.h"
#include "convert/file_layer.h"
#include "convert/part_reader.h"
#include "convert/project_conversion.h"
#include "convert/report_builder.h"
#include "convert/setting.h"
#include "convert/text_buffer.h"
#include "convert/text_output.h"
#include "convert/type_codes.h"
#include "kefconvert/kefconvert.h"

namespace kefconvert::detail {

/// The size of the parts a large file is converted in, and the size from which a file is
/// large. A part's text and the text made from it stay in the processor's nearest large
/// cache. Below 16 MiB the second thread gains nothing: what it costs to start it and to
/// give it memory of its own outweighs its half of the work. Builds for testing make parts
/// a few dozen bytes and every file of two parts large, so that the tests of whole
/// conversions run through parts.
#ifdef KEFCONVERT_PART_SIZE
inline constexpr std::size_t kPartSize = KEFCONVERT_PART_SIZE;
inline constexpr std::size_t kPartsFrom = 2 * kPartSize;
#else
inline constexpr std::size_t kPartSize = std::size_t{1} << 18;
inline constexpr std::size_t kPartsFrom = std::size_t{16} << 20;
#endif

/// What the lines up to the end of a part leave for the lines after it.
struct CarriedFacts {
  bool InSecTbl = false;
  bool InLoginFld = false;
  FieldTypeState field_types;
  std::string LoginFldTypeGroup;
  std::int16_t tables = 0;
  std::int64_t lines = 0;
};

class ConversionInParts {
 public:
  /// Converts `input` into `output`, which writes into `destination`, in parts of about
  /// `part_size` bytes read in blocks of `block_size`. `findings`: the report's file-wide
  /// findings, or null; `field_types`: the converter's field type state, which the
  /// conversion reads and leaves as a conversion in one piece does. `guess_always`: as
  /// Converter::set_part_size has it.
  ConversionInParts(InputFile& input, ReportBuilder* findings, TextOutput& output,
                    TextDestination& destination, const CodePage& code_page,
                    FieldTypeState& field_types, std::size_t part_size, std::size_t block_size,
                    bool guess_always = false);
  ConversionInParts(const ConversionInParts&) = delete;
  ConversionInParts& operator=(const ConversionInParts&) = delete;

  /// Converts the whole file and writes the text out. False when it is not a project file
  /// of the old layout (nothing is written then).
  bool Run();

  /// The first bytes of the file, as far as they have been read.
  std::string_view Head() const { return reader_.Head(); }

 private:
  /// A part, and what its conversion knew, relied on and left.
  struct Part {
    std::size_t number = 0;
    TextBuffer input;
    TextOutput output;  // holds its text
    PartReader::End end_kind = PartReader::End::kTableLine;
    bool start_known = false;
    Guesses guesses;
    FieldTypeState field_types;
    CarriedFacts end;
    std::optional<Error> error;  // a line's error, the line counted within the part
    std::exception_ptr failure;  // anything else
    Report report;
    std::optional<ReportBuilder> findings;

    /// Whether the file ends with the part, or the part takes the rest of it.
    bool last() const { return end_kind != PartReader::End::kTableLine; }
  };
  /// What each thread works with.
  struct Worker {
    Part part;
    FieldDefaults field_defaults{kFieldEnd};
  };

  bool ConvertFirstPart(Worker& worker);
  /// The whole file in one piece, its first bytes read into `part` already.
  bool ConvertWholeInOnePiece(Part& part);
  /// The part and the rest of the file after it in one piece, in its turn, on this thread
  /// alone, written as it is made.
  void ConvertRestInOnePiece(Worker& worker);
  void ReadPart(Part& part, std::size_t size);
  /// Takes parts until there are none, or until a part fails.
  void Work(Worker& worker);
  void ConvertPart(Worker& worker, const CarriedFacts* known);
  /// Gives a part's translator the project's facts and those of the lines above it.
  void StartFrom(const CarriedFacts& facts, CrossLineState& state) const;
  bool GuessesHold(const Part& part) const;
  /// With the lock, in order: checks the part, converts it again if need be, takes the
  /// facts it leaves, and gives its text a place. False when it failed.
  bool TakeInOrder(Worker& worker, std::uint64_t& offset, std::string_view& text);
  /// With the lock: `failure` of part `number` ends the conversion, unless a part before
  /// it failed too.
  void Fail(std::size_t number, std::exception_ptr failure);
  /// Writes the text of part `number` when its turn comes. False when a part failed.
  bool WriteOut(std::size_t number, std::uint64_t offset, std::string_view text);

  ReportBuilder* findings_;
  TextOutput& output_;
  TextDestination& destination_;
  const CodePage& code_page_;
  FieldTypeState& field_types_;
  std::size_t part_size_;
  // a part that reaches this size (1 MiB) without a table line to end with takes the rest
  // of the file: a project of a few huge tables converts in one piece, in bounded memory
  std::size_t part_limit_;
  std::size_t block_size_;
  bool guess_always_;
  // the project's own facts, final once its section is converted
  std::string sec_tbl_name_;
  std::string sec_login_id_fld_name_;
  Worker workers_[2];

  std::mutex mutex_;  // guards what follows
  std::condition_variable turn_;
  PartReader reader_;
  std::size_t next_read_ = 0;     // the number of the next part to read
  std::size_t next_taken_ = 0;    // of the next part to take in order
  std::size_t next_written_ = 0;  // of the next part to write
  bool read_all_ = false;
  CarriedFacts carried_;  // left by the parts taken so far
  std::size_t failed_part_ = 0;
  std::exception_ptr failure_;  // of the first part that failed
};

}  // namespace kefconvert::detail

#endif  // KEFCONVERT_CONVERT_CONVERSION_IN_PARTS_H_
