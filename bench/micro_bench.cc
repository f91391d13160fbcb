// Micro-benchmarks of the pieces every line of a project file passes through: line
// splitting, key lookup, escaping, variable names, default attributes and the translation
// of whole setting lines. They say where a conversion's time goes; kefbench says how the
// whole compares with copying the bytes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "convert/code_page.h"
#include "convert/defaults.h"
#include "convert/escape.h"
#include "convert/field_var.h"
#include "convert/file_layer.h"
#include "convert/key_maps.h"
#include "convert/line_reader.h"
#include "convert/setting.h"
#include "kefconvert/kefconvert.h"

namespace kefconvert {

namespace {

// Lines of a field section as projects hold them.
const std::vector<std::string> kFieldLines = {
    "Seq=3",
    "Name=Customer E-Mail",
    "Type=202",
    "Size=50",
    "Required=True",
    "  TagCols = 40  ",
    "Caption=Price & Tax",
    "ErrMsg=Please enter a value > 0 & < 100",
    "TagValues=1,\"One\";2,\"Two\"",
    "TagLnkOrderType=ASC",
    "LastModified=2003-04-01 12:00:00",
    "View=False",
};

class MemoryFile final : public detail::InputFile {
 public:
  explicit MemoryFile(const std::string& text) : text_(text) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    std::size_t n = std::min(size, text_.size() - at_);
    std::memcpy(buffer, text_.data() + at_, n);
    at_ += n;
    return n;
  }
  std::uint64_t SizeHint() const override { return text_.size(); }
  detail::FileIdentity Identity() const override { return {}; }
  void CheckUnchanged() const override {}

 private:
  const std::string& text_;
  std::size_t at_ = 0;
};

void LineSplitting(benchmark::State& state) {
  std::string text;
  while (text.size() < (8u << 20)) {
    for (const std::string& line : kFieldLines) text += line + "\r\n";
  }
  for (auto _ : state) {
    MemoryFile file(text);
    detail::LineReader lines(file);
    std::string_view line;
    std::size_t count = 0;
    while (lines.ReadLine(line)) ++count;
    benchmark::DoNotOptimize(count);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(LineSplitting);

std::vector<std::string> LookedUpKeys() {
  std::vector<std::string> keys;
  for (const detail::KeyMapping& row : detail::kFieldKeys) keys.emplace_back(row.old_key);
  keys.emplace_back("LastModified");  // a key in no row
  keys.emplace_back("Nam");
  return keys;
}

void KeyLookupOrdered(benchmark::State& state) {
  std::vector<std::string> keys = LookedUpKeys();
  for (auto _ : state) {
    for (const std::string& key : keys) {
      benchmark::DoNotOptimize(detail::FindKey(detail::kFieldKeys, key));
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * keys.size()));
}
BENCHMARK(KeyLookupOrdered);

void KeyLookupIndexed(benchmark::State& state) {
  std::vector<std::string> keys = LookedUpKeys();
  for (auto _ : state) {
    for (const std::string& key : keys) {
      benchmark::DoNotOptimize(detail::kFieldKeyIndex.Find(key));
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * keys.size()));
}
BENCHMARK(KeyLookupIndexed);

void Escaping(benchmark::State& state) {
  const std::string_view values[] = {"True", "Customer E-Mail", "Price & Tax",
                                     "Please enter a value > 0 & < 100", "1,\"One\";2,\"Two\""};
  detail::TextBuffer out(1 << 16);
  for (auto _ : state) {
    out.Truncate(0);
    for (std::string_view value : values) detail::AppendEscaped(out, value);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * std::size(values)));
}
BENCHMARK(Escaping);

void VariableNames(benchmark::State& state) {
  const detail::CodePage& code_page = *detail::CodePage::Find(1252);
  const std::string_view names[] = {"CustomerID", "Customer E-Mail", "Stra\337e Nr."};
  detail::TextBuffer out(1 << 16);
  for (auto _ : state) {
    out.Truncate(0);
    for (std::string_view name : names) detail::MakeFldVar(name, "x_", code_page, out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * std::size(names)));
}
BENCHMARK(VariableNames);

void FieldDefaultsAsText(benchmark::State& state) {
  detail::FieldTypeState types{253, true, "'", "'"};
  detail::TextBuffer out(1 << 16);
  const detail::DefaultsText& defaults = detail::DefaultsTextOf(detail::Defaults::kField);
  for (auto _ : state) {
    out.Truncate(0);
    defaults.AppendTo(out, &types);
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(FieldDefaultsAsText);

void FieldLineTranslation(benchmark::State& state) {
  detail::FieldTypeState types;
  detail::SettingTranslator translator(types, *detail::CodePage::Find(1252));
  detail::TextBuffer out(1 << 16);
  for (auto _ : state) {
    out.Truncate(0);
    for (const std::string& line : kFieldLines) {
      translator.ConvertSetting(Section::kField, line, out);
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kFieldLines.size()));
}
BENCHMARK(FieldLineTranslation);

}  // namespace
}  // namespace kefconvert

BENCHMARK_MAIN();
