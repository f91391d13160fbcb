// Single-byte Windows code pages. The converter works on bytes; a code page only says
// which character a byte above 0x7F stands for, which matters where a field's variable
// name spells a character as its hexadecimal code.
#ifndef KEFCONVERT_CONVERT_CODE_PAGE_H_
#define KEFCONVERT_CONVERT_CODE_PAGE_H_

#include <array>

namespace kefconvert::detail {

/// The code points of the bytes 0x80 to 0xFF.
using UpperHalf = std::array<char16_t, 128>;

/// The upper half of code page `number`, or nullptr when it is not one of 874 and
/// 1250 to 1258.
const UpperHalf* FindCodePage(int number);

}  // namespace kefconvert::detail

#endif  // KEFCONVERT_CONVERT_CODE_PAGE_H_
