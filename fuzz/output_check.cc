#include "output_check.h"

namespace kefconvert::fuzz {
namespace {

enum class Element { kProject, kDatabase, kTable, kField };

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// Walks the converted text line by line. Every line feed in it is the converter's own (a
// line of the project file holds none), so every line starts with an opening or closing
// tag, or continues a field's tag with its variable name; attribute names, which are
// copied unescaped, can hold anything but a line feed and so cannot fake a line start.
class TextWalker {
 public:
  std::string Walk(std::string_view output);

  std::int64_t databases = 0;
  std::int64_t tables = 0;
  std::int64_t fields = 0;

 private:
  std::string StartLine(std::string_view line, bool last);
  std::string EndTagIfComplete(std::string_view line);

  std::vector<Element> open_;  // the elements whose closing tag is still to come
  bool in_tag_ = false;        // an opening tag goes on past its line
  Element tag_ = Element::kProject;
  std::size_t line_ = 0;
};

std::string TextWalker::Walk(std::string_view output) {
  if (!EndsWith(output, "</Project>")) return "the text does not end with </Project>";
  std::size_t start = 0;
  for (;;) {
    std::size_t feed = output.find('\n', start);
    bool last = feed == std::string_view::npos;
    std::string_view line = output.substr(start, last ? std::string_view::npos : feed - start);
    ++line_;
    std::string problem;
    if (in_tag_) {
      if (!StartsWith(line, " FldVar=\""))
        return "line " + std::to_string(line_) + ": a tag breaks";
      problem = EndTagIfComplete(line);
    } else {
      problem = StartLine(line, last);
    }
    if (!problem.empty()) return "line " + std::to_string(line_) + ": " + problem;
    if (last) break;
    start = feed + 1;
  }
  if (in_tag_ || !open_.empty()) return "the text ends inside an element";
  return {};
}

std::string TextWalker::StartLine(std::string_view line, bool last) {
  Element top = open_.empty() ? Element::kField : open_.back();
  auto open_tag = [&](Element element, Element parent, bool allowed) -> std::string {
    if (!allowed || open_.empty() != (element == Element::kProject) ||
        (!open_.empty() && top != parent)) {
      return "an opening tag out of place";
    }
    in_tag_ = true;
    tag_ = element;
    return EndTagIfComplete(line);
  };
  auto close_tag = [&](Element element) -> std::string {
    if (open_.empty() || top != element) return "a closing tag out of place";
    open_.pop_back();
    return {};
  };
  if (StartsWith(line, "<Project "))
    return open_tag(Element::kProject, Element::kProject, line_ == 1);
  if (StartsWith(line, "<Database ")) {
    ++databases;
    return open_tag(Element::kDatabase, Element::kProject, databases == 1);
  }
  if (StartsWith(line, "<Table ")) {
    ++tables;
    return open_tag(Element::kTable, Element::kDatabase, true);
  }
  if (StartsWith(line, "<Field ")) {
    ++fields;
    return open_tag(Element::kField, Element::kTable, true);
  }
  if (line == "</Table>\r") return close_tag(Element::kTable);
  if (line == "</Database>\r") return close_tag(Element::kDatabase);
  if (line == "</Project>" && last) return close_tag(Element::kProject);
  return "a line that starts no tag";
}

std::string TextWalker::EndTagIfComplete(std::string_view line) {
  std::string_view end = tag_ == Element::kField ? "\"/>\r" : "\">\r";
  if (EndsWith(line, end)) {
    if (tag_ != Element::kField) open_.push_back(tag_);
    in_tag_ = false;
    return {};
  }
  // a name attribute is followed by its variable name on the next line
  if (EndsWith(line, "\"\r")) return {};
  return tag_ == Element::kField ? "a field tag that does not close itself"
                                 : "a tag that does not end";
}

}  // namespace

std::vector<std::string_view> SplitLines(std::string_view bytes) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t feed = bytes.find('\n', start);
    if (feed == std::string_view::npos) {
      lines.push_back(bytes.substr(start));
      break;
    }
    std::string_view line = bytes.substr(start, feed - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = feed + 1;
  }
  return lines;
}

std::string_view Blankless(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

MarkerCounts CountMarkers(const std::vector<std::string_view>& lines) {
  MarkerCounts counts;
  for (std::string_view line : lines) {
    std::string_view text = Blankless(line);
    if (text == "<Project>") ++counts.project;
    if (text == "<Database>") ++counts.database;
    if (text == "<Table>") ++counts.table;
    if (text == "<Field>") ++counts.field;
  }
  return counts;
}

std::string CheckConvertedText(const std::vector<std::string_view>& lines,
                               std::string_view output) {
  TextWalker walker;
  std::string problem = walker.Walk(output);
  if (!problem.empty()) return problem;
  MarkerCounts markers = CountMarkers(lines);
  if (markers.project != 1 || markers.database != 1 || walker.databases != 1) {
    return "a converted file needs one project and one database marker";
  }
  if (walker.tables != markers.table) return "not one Table element per table marker";
  if (walker.fields != markers.field) return "not one Field element per field marker";
  return {};
}

std::string Escape(std::string_view text) {
  std::string escaped;
  for (char c : text) {
    switch (c) {
      case '&': escaped += "&amp;"; break;
      case '"': escaped += "&quot;"; break;
      case '>': escaped += "&gt;"; break;
      case '<': escaped += "&lt;"; break;
      default: escaped += c;
    }
  }
  return escaped;
}

}  // namespace kefconvert::fuzz
