// Makes old-layout project files for the benchmark: deterministic (the same size and seed
// give the same bytes), and shaped like the projects hosts convert: a project and a
// database section, then tables with a dozen settings each, some with a multi-line SQL
// text, and fields with 30 to 50 settings each. Values carry the characters that need
// escaping, field names carry blanks and bytes above 0x7F, lines carry stray blanks, and
// blank lines stand between sections. Lines end with CRLF.
#ifndef KEFCONVERT_BENCH_PROJECT_GENERATOR_H_
#define KEFCONVERT_BENCH_PROJECT_GENERATOR_H_

#include <cstdint>
#include <string>

namespace kefconvert::bench {

struct GeneratedProject {
  std::uint64_t bytes = 0;
  std::uint32_t tables = 0;
  std::uint64_t fields = 0;
  std::uint64_t lines = 0;
};

/// Writes a realistic project of at least `target_bytes` (a table more at most) to `path`.
/// Throws std::runtime_error when the file cannot be written.
GeneratedProject GenerateProject(const std::string& path, std::uint64_t target_bytes,
                                 std::uint64_t seed = 1);

/// Writes a project whose database holds `tables` tables without fields, each with a few
/// settings: the most tables one database marker may be followed by is 32767.
GeneratedProject GenerateManyTables(const std::string& path, std::uint32_t tables);

}  // namespace kefconvert::bench

#endif  // KEFCONVERT_BENCH_PROJECT_GENERATOR_H_
