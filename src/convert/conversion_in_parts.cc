#include "convert/conversion_in_parts.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <system_error>

#include "convert/line_reader.h"
#include "platform/posix/signals.h"

namespace kefconvert::detail {
namespace {

// What a line reader reads from once it has taken a part's text.
class NoMoreInput final : public InputFile {
 public:
  std::size_t Read(char*, std::size_t) override { return 0; }
  std::uint64_t SizeHint() const override { return 0; }
  FileIdentity Identity() const override { return {}; }
  void CheckUnchanged() const override {}
};

NoMoreInput no_more_input;

// The text of a part that ends nowhere, and after it the rest of the file.
class RestInput final : public InputFile {
 public:
  RestInput(std::string_view held, PartReader& reader) : held_(held), reader_(reader) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    if (held_.empty()) return reader_.ReadRest(buffer, size);
    std::size_t n = std::min(size, held_.size());
    std::memcpy(buffer, held_.data(), n);
    held_.remove_prefix(n);
    return n;
  }
  std::uint64_t SizeHint() const override { return 0; }
  FileIdentity Identity() const override { return {}; }
  void CheckUnchanged() const override {}

 private:
  std::string_view held_;
  PartReader& reader_;
};

// The reader's own block, never filled: it reads the text it adopts.
constexpr std::size_t kNoBlock = 64;

// A part converted on a guess assumes that the table above it is not the security table,
// that the field above it is not the login field, and that no field "Type" line was read.
const CarriedFacts kGuessedFacts{};

}  // namespace

ConversionInParts::ConversionInParts(InputFile& input, ReportBuilder* findings, TextOutput& output,
                                     TextDestination& destination, const CodePage& code_page,
                                     FieldTypeState& field_types, std::size_t part_size,
                                     std::size_t block_size, bool guess_always)
    : findings_(findings),
      output_(output),
      destination_(destination),
      code_page_(code_page),
      field_types_(field_types),
      part_size_(part_size),
      part_limit_(4 * part_size),
      block_size_(block_size),
      guess_always_(guess_always),
      reader_(input, block_size) {
  for (Worker& worker : workers_) {
    // room for a part and its text from the start: the buffers do not grow in steps
    worker.part.input.Reserve(part_size + block_size / 4 + LineReader::kPadding);
    worker.part.output.text().Reserve(2 * part_size + kOutputBlockSize);
  }
}

bool ConversionInParts::Run() {
  Worker& self = workers_[0];
  // the first part ends with the first table line, so that the other thread starts soon
  ReadPart(self.part, 1);
  if (self.part.end_kind == PartReader::End::kNone) return ConvertWholeInOnePiece(self.part);
  read_all_ = self.part.last();
  next_read_ = next_taken_ = next_written_ = 1;
  if (!ConvertFirstPart(self)) return false;
  if (!read_all_) {
    std::thread helper;
    try {
      // the signals that abandon a conversion stay with this thread
      TerminationSignalsHeld held;
      helper = std::thread(&ConversionInParts::Work, this, std::ref(workers_[1]));
    } catch (const std::system_error&) {
      // no thread to be had: this one takes every part, in order
    }
    try {
      Work(self);
    } catch (...) {
      std::lock_guard lock(mutex_);
      Fail(self.part.number, std::current_exception());
    }
    if (helper.joinable()) helper.join();
    if (failure_) std::rethrow_exception(failure_);
  }
  output_.Finish(LoginTypeAttribute(carried_.LoginFldTypeGroup));
  return true;
}

void ConversionInParts::ReadPart(Part& part, std::size_t size) {
  part.end_kind = reader_.Next(part.input, size, part_limit_, LineReader::kPadding);
}

void ConversionInParts::StartFrom(const CarriedFacts& facts, CrossLineState& state) const {
  state.SecTblName = sec_tbl_name_;
  state.SecLoginIDFldName = sec_login_id_fld_name_;
  state.InSecTbl = facts.InSecTbl;
  state.InLoginFld = facts.InLoginFld;
}

bool ConversionInParts::ConvertWholeInOnePiece(Part& part) {
  RestInput rest(part.input.view(), reader_);
  LineReader lines(rest, block_size_);
  SettingTranslator translator(field_types_, code_page_);
  ProjectConversion conversion(translator, field_types_, lines, findings_, nullptr, output_,
                               workers_[0].field_defaults);
  return conversion.Run();
}

// As a conversion in one piece starts: from the converter's own state, and alone.
bool ConversionInParts::ConvertFirstPart(Worker& worker) {
  Part& part = worker.part;
  LineReader lines(no_more_input, kNoBlock);
  lines.Adopt(part.input);
  SettingTranslator translator(field_types_, code_page_);
  ProjectConversion conversion(translator, field_types_, lines, findings_, nullptr, part.output,
                               worker.field_defaults);
  if (!conversion.RunFirstPart(part.last())) return false;
  const CrossLineState& state = translator.state;
  carried_ = {state.InSecTbl,          state.InLoginFld,    field_types_,
              state.LoginFldTypeGroup, conversion.tables(), lines.line_number()};
  sec_tbl_name_ = state.SecTblName;
  sec_login_id_fld_name_ = state.SecLoginIDFldName;
  // the login field's type group is a digit when a login field has given one, or is
  // likely to when the project names one
  bool login_type_likely = !state.LoginFldTypeGroup.empty() ||
                           (!state.SecTblName.empty() && !state.SecLoginIDFldName.empty());
  std::string_view text = part.output.text().view();
  std::uint64_t offset = output_.PlacePart(text, part.output.placeholder(), login_type_likely);
  std::string_view pieces[] = {text};
  destination_.WriteAt(offset, pieces);
  return true;
}

void ConversionInParts::Work(Worker& worker) {
  Part& part = worker.part;
  for (;;) {
    std::optional<CarriedFacts> known;
    {
      std::lock_guard lock(mutex_);
      if (read_all_ || failure_) return;
      try {
        // the file is read in order, a part at a time
        ReadPart(part, part_size_);
      } catch (...) {
        Fail(next_read_, std::current_exception());
        return;
      }
      part.number = next_read_++;
      read_all_ = part.last();
      // the parts above it may all be taken already
      if (part.number == next_taken_ && !guess_always_) known = carried_;
    }
    if (part.end_kind == PartReader::End::kNone) return ConvertRestInOnePiece(worker);
    ConvertPart(worker, known ? &*known : nullptr);
    std::uint64_t offset = 0;
    std::string_view text;
    if (!TakeInOrder(worker, offset, text)) return;
    if (destination_.TakesWritesAtOnce() && !WriteOut(part.number, offset, text)) return;
  }
}

void ConversionInParts::ConvertPart(Worker& worker, const CarriedFacts* known) {
  Part& part = worker.part;
  const CarriedFacts& start = known != nullptr ? *known : kGuessedFacts;
  part.start_known = known != nullptr;
  part.field_types = start.field_types;
  part.error.reset();
  part.failure = nullptr;
  part.output.text().Truncate(0);
  if (findings_ != nullptr) part.findings.emplace(part.report);
  LineReader lines(no_more_input, kNoBlock);
  lines.Adopt(part.input);
  SettingTranslator translator(part.field_types, code_page_);
  CrossLineState& state = translator.state;
  StartFrom(start, state);
  if (known == nullptr) translator.guesses = Guesses::AllUnknown();
  ProjectConversion conversion(translator, part.field_types, lines,
                               part.findings ? &*part.findings : nullptr, nullptr, part.output,
                               worker.field_defaults);
  try {
    conversion.RunLaterPart(start.tables, part.last());
  } catch (const Error& error) {
    part.error = error;
  } catch (...) {
    part.failure = std::current_exception();
  }
  part.guesses = translator.guesses;
  part.end = {state.InSecTbl,          state.InLoginFld,    part.field_types,
              state.LoginFldTypeGroup, conversion.tables(), lines.line_number()};
  // the part's text goes back where it came from, for a second conversion
  lines.Adopt(part.input);
}

void ConversionInParts::ConvertRestInOnePiece(Worker& worker) {
  Part& part = worker.part;
  std::unique_lock lock(mutex_);
  // every part above it is written, and the other thread has no part left
  turn_.wait(lock, [&] {
    return (next_taken_ == part.number && next_written_ == part.number) || failure_;
  });
  if (failure_) return;
  try {
    RestInput rest(part.input.view(), reader_);
    LineReader lines(rest, block_size_);
    SettingTranslator translator(field_types_, code_page_);
    CrossLineState& state = translator.state;
    StartFrom(carried_, state);
    if (findings_ != nullptr) part.findings.emplace(part.report);
    ProjectConversion conversion(translator, field_types_, lines,
                                 part.findings ? &*part.findings : nullptr, nullptr, output_,
                                 worker.field_defaults);
    try {
      conversion.RunLaterPart(carried_.tables, true);
    } catch (const Error& error) {
      if (error.line() == 0) throw;
      throw error.AtLine(carried_.lines + error.line());
    }
    if (!state.LoginFldTypeGroup.empty()) carried_.LoginFldTypeGroup = state.LoginFldTypeGroup;
    if (findings_ != nullptr) findings_->TakeTextFindings(*part.findings, carried_.lines);
  } catch (...) {
    Fail(part.number, std::current_exception());
  }
}

bool ConversionInParts::GuessesHold(const Part& part) const {
  if (part.start_known) return true;
  const Guesses& used = part.guesses;
  if (used.used_in_sec_tbl && carried_.InSecTbl != kGuessedFacts.InSecTbl) return false;
  if (used.used_in_login_fld && carried_.InLoginFld != kGuessedFacts.InLoginFld) return false;
  if (used.used_field_types && !(carried_.field_types == kGuessedFacts.field_types)) return false;
  // the part counted its tables from 0: the tables above it must leave room for them
  return carried_.tables + part.end.tables <= std::numeric_limits<std::int16_t>::max();
}

bool ConversionInParts::TakeInOrder(Worker& worker, std::uint64_t& offset, std::string_view& text) {
  Part& part = worker.part;
  std::unique_lock lock(mutex_);
  turn_.wait(lock, [&] { return next_taken_ == part.number || failure_; });
  if (failure_) return false;
  // rare: the other thread waits for this one meanwhile
  if (!GuessesHold(part)) ConvertPart(worker, &carried_);
  const CarriedFacts& end = part.end;
  const Guesses& learnt = part.guesses;
  // a fact that the part did not set is the one it was given
  if (learnt.in_sec_tbl_known) carried_.InSecTbl = end.InSecTbl;
  if (learnt.in_login_fld_known) carried_.InLoginFld = end.InLoginFld;
  if (learnt.field_types_known) carried_.field_types = end.field_types;
  if (!end.LoginFldTypeGroup.empty()) carried_.LoginFldTypeGroup = end.LoginFldTypeGroup;
  carried_.tables =
      static_cast<std::int16_t>(part.start_known ? end.tables : carried_.tables + end.tables);
  std::int64_t lines_before = carried_.lines;
  carried_.lines += end.lines;
  // the converter's state is what a conversion in one piece leaves, up to a failure
  field_types_ = carried_.field_types;
  if (part.failure) {
    Fail(part.number, part.failure);
    return false;
  }
  if (part.error) {
    const Error& error = *part.error;
    Fail(part.number, std::make_exception_ptr(
                          error.line() != 0 ? error.AtLine(lines_before + error.line()) : error));
    return false;
  }
  if (findings_ != nullptr) findings_->TakeTextFindings(*part.findings, lines_before);
  text = part.output.text().view();
  offset = output_.PlacePart(text, std::string_view::npos, false);
  // a destination that takes one write at a time takes them in order
  if (!destination_.TakesWritesAtOnce()) {
    try {
      std::string_view pieces[] = {text};
      destination_.WriteAt(offset, pieces);
    } catch (...) {
      Fail(part.number, std::current_exception());
      return false;
    }
    ++next_written_;
  }
  ++next_taken_;
  turn_.notify_all();
  return true;
}

// The parts are written one after another, in order: two writes into one file at once
// only wait for each other in the system, and they would meet every time one thread
// takes its turn just after the other.
bool ConversionInParts::WriteOut(std::size_t number, std::uint64_t offset, std::string_view text) {
  {
    std::unique_lock lock(mutex_);
    turn_.wait(lock, [&] { return next_written_ == number || failure_; });
    if (failure_) return false;
  }
  try {
    std::string_view pieces[] = {text};
    destination_.WriteAt(offset, pieces);
  } catch (...) {
    std::lock_guard lock(mutex_);
    Fail(number, std::current_exception());
    return false;
  }
  std::lock_guard lock(mutex_);
  ++next_written_;
  turn_.notify_all();
  return true;
}

void ConversionInParts::Fail(std::size_t number, std::exception_ptr failure) {
  if (!failure_ || number < failed_part_) {
    failure_ = std::move(failure);
    failed_part_ = number;
  }
  turn_.notify_all();
}

}  // namespace kefconvert::detail
