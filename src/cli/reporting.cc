#include "cli/reporting.h"

#include <cstdio>
#include <iostream>

namespace kefconvert::cli {
namespace {

// The length of the UTF-8 character that starts `text`, or 0 when it does not start with
// one: no overlong forms, no surrogates, nothing beyond U+10FFFF.
std::size_t Utf8Length(std::string_view text) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

void AppendEscape(std::string& out, unsigned code) {
  char escape[8];
  std::snprintf(escape, sizeof escape, "\\u%04x", code);
  out += escape;
}

void AppendField(std::string& out, std::string_view name, std::string_view json) {
  if (out.back() != '{') out += ", ";
  out += '"';
  out += name;
  out += "\": ";
  out += json;
}

std::string JsonEvent(const Event& event) {
  std::string json = "{";
  AppendField(json, "line", std::to_string(event.line));
  AppendField(json, "kind", JsonString(EventKindName(event.kind)));
  AppendField(json, "section", JsonString(SectionName(event.section)));
  AppendField(json, "key", event.key.empty() ? "null" : JsonString(event.key));
  AppendField(json, "message", JsonString(event.message));
  return json + "}";
}

std::string JsonFailure(const Failure& failure) {
  std::string json = "{";
  AppendField(json, "number", std::to_string(failure.number));
  AppendField(json, "line", failure.line > 0 ? std::to_string(failure.line) : "null");
  AppendField(json, "description", JsonString(failure.description));
  return json + "}";
}

}  // namespace

std::string_view StatusName(Status status) {
  static constexpr std::string_view kNames[] = {"converted", "skipped", "not-a-project", "failed"};
  return kNames[static_cast<int>(status)];
}

std::string Printable(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      char code[8];
      std::snprintf(code, sizeof code, "\\x%02X", byte);
      shown += code;
    } else {
      shown += c;
    }
  }
  return shown;
}

std::string JsonString(std::string_view text) {
  std::string json;
  json.reserve(text.size() + 2);
  json += '"';
  while (!text.empty()) {
    auto byte = static_cast<unsigned char>(text.front());
    std::size_t length = Utf8Length(text);
    if (length == 0) {
      // not UTF-8: the byte itself, in the range that surrogateescape reserves for it
      AppendEscape(json, 0xDC00 + byte);
      length = 1;
    } else if (byte == '"' || byte == '\\') {
      json += '\\';
      json += static_cast<char>(byte);
    } else if (byte == '\n') {
      json += "\\n";
    } else if (byte == '\r') {
      json += "\\r";
    } else if (byte == '\t') {
      json += "\\t";
    } else if (byte < 0x20) {
      AppendEscape(json, byte);
    } else {
      json.append(text.substr(0, length));
    }
    text.remove_prefix(length);
  }
  json += '"';
  return json;
}

std::string JsonLine(const Outcome& outcome) {
  std::string json = "{";
  AppendField(json, "file", JsonString(outcome.file));
  AppendField(json, "status", JsonString(StatusName(outcome.status)));
  AppendField(json, "output", outcome.output ? JsonString(*outcome.output) : "null");
  AppendField(json, "error", outcome.failure ? JsonFailure(*outcome.failure) : "null");
  std::string events = "[";
  for (const Event& event : outcome.events) {
    if (events.size() > 1) events += ", ";
    events += JsonEvent(event);
  }
  AppendField(json, "events", events + "]");
  return json + "}";
}

std::string ReportLine(std::string_view file, const Event& event) {
  std::string line = Printable(file);
  line += ':';
  line += std::to_string(event.line);
  line += ": ";
  line += EventKindName(event.kind);
  if (!event.key.empty()) {
    line += ": ";
    line += Printable(event.key);
  }
  line += " (";
  line += Printable(event.message);
  line += ')';
  return line;
}

void Messages::Problem(std::string_view where, std::string_view text) const {
  std::cerr << "kefconvert: " << Printable(where) << ": " << Printable(text) << '\n';
}

void Messages::Failed(std::string_view where, const Failure& failure) const {
  std::string place(where);
  if (failure.line > 0) place.append(1, ':').append(std::to_string(failure.line));
  Problem(place, failure.description + " (error " + std::to_string(failure.number) + ")");
}

void Messages::Note(std::string_view where, std::string_view text) const {
  if (!quiet_) Problem(where, "note: " + std::string(text));
}

void Messages::Summary(std::string_view text) const {
  if (!quiet_) std::cerr << "kefconvert: " << text << '\n';
}

}  // namespace kefconvert::cli
