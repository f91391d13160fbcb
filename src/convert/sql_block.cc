#include "convert/sql_block.h"

#include "convert/escape.h"

namespace kefconvert::detail {

void AppendSqlPiece(TextBuffer& element, const SplitLine& line) {
  element.data()[element.size() - 1] = ' ';
  if (line.has_equals) {
    AppendEscaped(element, line.key);
    element.Append('=');
    AppendEscaped(element, line.value);
  } else {
    // a blank line adds the joining blank alone
    AppendEscaped(element, line.text);
  }
  element.Append('"');
}

}  // namespace kefconvert::detail
