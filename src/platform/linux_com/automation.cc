// BSTR and VARIANT helpers with the memory layout and semantics of the Windows automation
// runtime: a BSTR is one malloc'd block holding a 32-bit byte length, the UTF-16 text and
// a terminating NUL, and the BSTR points at the text. VariantChangeTypeEx converts to text
// as the runtime does (see com_interfaces.h for where its words differ).
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

#include "platform/linux_com/com_interfaces.h"

namespace {

constexpr std::size_t kLengthPrefix = sizeof(std::uint32_t);

std::uint32_t* LengthField(BSTR text) {
  return reinterpret_cast<std::uint32_t*>(reinterpret_cast<char*>(text) - kLengthPrefix);
}

std::size_t TextLength(const OLECHAR* text) {
  std::size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

// Types that own nothing, so clearing them only resets the type.
bool IsPlainValueType(VARTYPE type) {
  switch (type) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_ERROR:
    case VT_BOOL:
    case VT_DECIMAL:
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT: return true;
    default: return false;
  }
}

// How many bytes the value of a by-reference variant of `type` has; 0 for types whose
// reference is not read here.
std::size_t ValueSize(VARTYPE type) {
  switch (type) {
    case VT_I1:
    case VT_UI1: return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL: return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR: return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE: return 8;
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_UNKNOWN: return sizeof(void*);
    default: return 0;
  }
}

// The value `source` refers to, as a variant of its own (which owns nothing); no value for a
// reference this runtime does not read.
std::optional<VARIANT> Dereferenced(const VARIANT& source) {
  if (!(V_VT(&source) & VT_BYREF)) return source;
  VARTYPE type = V_VT(&source) & ~VT_BYREF;
  if (V_BYREF(&source) == nullptr) return std::nullopt;
  VARIANT value;
  VariantInit(&value);
  if (type == VT_VARIANT) {
    value = *V_VARIANTREF(&source);
    // a variant by reference may hold a reference, but not to another variant
    if (V_VT(&value) == (VT_VARIANT | VT_BYREF)) return std::nullopt;
    return Dereferenced(value);
  }
  if (type == VT_DECIMAL) {
    V_DECIMAL(&value) = *V_DECIMALREF(&source);
  } else {
    std::size_t size = ValueSize(type);
    if (size == 0) return std::nullopt;
    std::memcpy(&V_I8(&value), V_BYREF(&source), size);
  }
  V_VT(&value) = type;
  return value;
}

std::string SignedText(std::int64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "%" PRId64, value);
  return text;
}

std::string UnsignedText(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "%" PRIu64, value);
  return text;
}

std::string FloatingText(double value, int digits) {
  if (value == 0) return "0";  // no "-0"
  char text[40];
  std::snprintf(text, sizeof text, "%.*G", digits, value);
  return text;
}

// `digits` (an unsigned number in decimal) divided by 10^`scale`, without trailing zeros.
std::string ScaledText(std::string digits, int scale, bool negative) {
  if (static_cast<int>(digits.size()) <= scale) {
    digits.insert(0, static_cast<std::size_t>(scale) + 1 - digits.size(), '0');
  }
  std::size_t point = digits.size() - static_cast<std::size_t>(scale);
  std::string whole = digits.substr(0, point);
  std::string fraction = digits.substr(point);
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  std::string text = whole + (fraction.empty() ? "" : "." + fraction);
  return negative && text != "0" ? "-" + text : text;
}

std::string CurrencyText(CY value) {
  bool negative = value.int64 < 0;
  std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(value.int64)
                                     : static_cast<std::uint64_t>(value.int64);
  return ScaledText(UnsignedText(magnitude), 4, negative);
}

std::optional<std::string> DecimalText(const DECIMAL& value) {
  if (value.scale > 28) return std::nullopt;
  // the 96-bit magnitude as three 32-bit limbs, most significant first, divided by ten
  // until nothing is left
  std::uint32_t limbs[3] = {value.Hi32, static_cast<std::uint32_t>(value.Lo64 >> 32),
                            static_cast<std::uint32_t>(value.Lo64)};
  std::string digits;
  do {
    std::uint64_t remainder = 0;
    for (std::uint32_t& limb : limbs) {
      std::uint64_t part = (remainder << 32) | limb;
      limb = static_cast<std::uint32_t>(part / 10);
      remainder = part % 10;
    }
    digits.insert(digits.begin(), static_cast<char>('0' + remainder));
  } while (limbs[0] != 0 || limbs[1] != 0 || limbs[2] != 0);
  return ScaledText(digits, value.scale, (value.sign & 0x80) != 0);
}

// Day 0 is 1899-12-30; the civil date of `days` after it (Howard Hinnant's algorithm).
void CivilDate(std::int64_t days, int& year, int& month, int& day) {
  std::int64_t z = days - 25569 + 719468;  // 1899-12-30 is 25569 days before 1970-01-01
  std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  std::int64_t day_of_era = z - era * 146097;
  std::int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  std::int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  std::int64_t shifted_month = (5 * day_of_year + 2) / 153;
  day = static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
  month = static_cast<int>(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
  year = static_cast<int>(year_of_era + era * 400 + (month <= 2 ? 1 : 0));
}

// An automation date counts days from 1899-12-30; its fraction, taken without its sign,
// is the time of day.
std::optional<std::string> DateText(DATE value) {
  constexpr double kFirst = -657434;  // 0100-01-01
  constexpr double kLast = 2958466;   // the day after 9999-12-31
  if (!(value >= kFirst && value < kLast)) return std::nullopt;
  double whole_days = std::trunc(value);
  std::int64_t days = static_cast<std::int64_t>(whole_days);
  std::int64_t seconds = std::llround(std::fabs(value - whole_days) * 86400);
  if (seconds == 86400) {  // rounded up to midnight of the next day
    seconds = 0;
    days += value < 0 ? -1 : 1;
  }
  int year = 0, month = 0, day = 0;
  CivilDate(days, year, month, day);
  char date[16];
  std::snprintf(date, sizeof date, "%04d-%02d-%02d", year, month, day);
  char time[16];
  std::snprintf(time, sizeof time, "%02d:%02d:%02d", static_cast<int>(seconds / 3600),
                static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
  if (seconds == 0) return std::string(date);
  if (days == 0) return std::string(time);
  return std::string(date) + " " + time;
}

BSTR AsciiBstr(const std::string& text) {
  std::u16string wide(text.begin(), text.end());
  return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

// Objects nest their default values at most this deep, so that one whose default value is
// itself cannot loop.
constexpr int kMaxObjectDepth = 8;

HRESULT TextOf(const VARIANT& source, USHORT flags, BSTR& text, int depth);

// The text of an object's default property (DISPID_VALUE).
HRESULT ObjectText(IUnknown* object, USHORT flags, BSTR& text, int depth) {
  if (object == nullptr || depth >= kMaxObjectDepth) return DISP_E_TYPEMISMATCH;
  IDispatch* dispatch = nullptr;
  if (FAILED(object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)))) {
    return DISP_E_TYPEMISMATCH;
  }
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  VARIANT value;
  VariantInit(&value);
  HRESULT status = dispatch->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT,
                                    DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr);
  dispatch->Release();
  if (status == DISP_E_MEMBERNOTFOUND || status == DISP_E_UNKNOWNNAME) return DISP_E_TYPEMISMATCH;
  if (SUCCEEDED(status)) status = TextOf(value, flags, text, depth + 1);
  VariantClear(&value);
  return status;
}

HRESULT TextOf(const VARIANT& source, USHORT flags, BSTR& text, int depth) {
  std::optional<VARIANT> found = Dereferenced(source);
  if (!found) return DISP_E_TYPEMISMATCH;
  const VARIANT& value = *found;
  std::optional<std::string> ascii;
  switch (V_VT(&value)) {
    case VT_EMPTY: ascii = ""; break;
    case VT_I1: ascii = SignedText(V_I1(&value)); break;
    case VT_I2: ascii = SignedText(V_I2(&value)); break;
    case VT_I4: ascii = SignedText(V_I4(&value)); break;
    case VT_I8: ascii = SignedText(V_I8(&value)); break;
    case VT_INT: ascii = SignedText(V_INT(&value)); break;
    case VT_UI1: ascii = UnsignedText(V_UI1(&value)); break;
    case VT_UI2: ascii = UnsignedText(V_UI2(&value)); break;
    case VT_UI4: ascii = UnsignedText(V_UI4(&value)); break;
    case VT_UI8: ascii = UnsignedText(V_UI8(&value)); break;
    case VT_UINT: ascii = UnsignedText(V_UINT(&value)); break;
    case VT_R4: ascii = FloatingText(V_R4(&value), 7); break;
    case VT_R8: ascii = FloatingText(V_R8(&value), 15); break;
    case VT_CY: ascii = CurrencyText(V_CY(&value)); break;
    case VT_DECIMAL:
      ascii = DecimalText(V_DECIMAL(&value));
      if (!ascii) return DISP_E_OVERFLOW;
      break;
    case VT_DATE:
      ascii = DateText(V_DATE(&value));
      if (!ascii) return DISP_E_OVERFLOW;
      break;
    case VT_BOOL:
      if (flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL)) {
        ascii = V_BOOL(&value) ? "True" : "False";
      } else {
        ascii = SignedText(V_BOOL(&value));
      }
      break;
    case VT_BSTR:
      text = SysAllocStringLen(V_BSTR(&value), SysStringLen(V_BSTR(&value)));
      return text == nullptr ? E_OUTOFMEMORY : S_OK;
    case VT_DISPATCH:
    case VT_UNKNOWN:
      if (flags & VARIANT_NOVALUEPROP) return DISP_E_TYPEMISMATCH;
      return ObjectText(V_UNKNOWN(&value), flags, text, depth);
    default: return DISP_E_TYPEMISMATCH;  // Null, errors, arrays, records
  }
  text = AsciiBstr(*ascii);
  return text == nullptr ? E_OUTOFMEMORY : S_OK;
}

}  // namespace

STDAPI_(BSTR) SysAllocStringLen(const OLECHAR* text, UINT length) {
  constexpr UINT kMaxLength = (std::numeric_limits<std::uint32_t>::max() - 8) / sizeof(OLECHAR);
  if (length > kMaxLength) return nullptr;
  std::size_t bytes = std::size_t{length} * sizeof(OLECHAR);
  char* block = static_cast<char*>(std::malloc(kLengthPrefix + bytes + sizeof(OLECHAR)));
  if (block == nullptr) return nullptr;
  std::uint32_t byte_length = static_cast<std::uint32_t>(bytes);
  std::memcpy(block, &byte_length, sizeof byte_length);
  BSTR result = reinterpret_cast<BSTR>(block + kLengthPrefix);
  if (text != nullptr) {
    std::memcpy(result, text, bytes);
  } else {
    std::memset(result, 0, bytes);
  }
  result[length] = 0;
  return result;
}

STDAPI_(BSTR) SysAllocString(const OLECHAR* text) {
  if (text == nullptr) return nullptr;
  std::size_t length = TextLength(text);
  if (length > std::numeric_limits<UINT>::max()) return nullptr;
  return SysAllocStringLen(text, static_cast<UINT>(length));
}

STDAPI_(void) SysFreeString(BSTR text) {
  if (text != nullptr) std::free(LengthField(text));
}

STDAPI_(UINT) SysStringLen(BSTR text) {
  if (text == nullptr) return 0;
  std::uint32_t byte_length;
  std::memcpy(&byte_length, LengthField(text), sizeof byte_length);
  return byte_length / sizeof(OLECHAR);
}

STDAPI_(void) VariantInit(VARIANTARG* variant) { V_VT(variant) = VT_EMPTY; }

STDAPI VariantClear(VARIANTARG* variant) {
  if (variant == nullptr) return E_INVALIDARG;
  VARTYPE type = V_VT(variant);
  if (type & VT_BYREF) {
    // A reference owns nothing.
  } else if (type == VT_BSTR) {
    SysFreeString(V_BSTR(variant));
  } else if (type == VT_UNKNOWN || type == VT_DISPATCH) {
    IUnknown* object = V_UNKNOWN(variant);
    if (object != nullptr) object->Release();
  } else if (!IsPlainValueType(type)) {
    // Arrays and records have no runtime here; no value of this library holds one.
    return DISP_E_BADVARTYPE;
  }
  V_VT(variant) = VT_EMPTY;
  return S_OK;
}

STDAPI VariantChangeTypeEx(VARIANTARG* dest, const VARIANTARG* source, LCID, USHORT flags,
                           VARTYPE type) {
  if (dest == nullptr || source == nullptr) return E_INVALIDARG;
  if (type != VT_BSTR) return DISP_E_TYPEMISMATCH;
  BSTR text = nullptr;
  HRESULT status = TextOf(*source, flags, text, 0);
  if (FAILED(status)) return status;
  VariantClear(dest);  // after reading: dest may be source
  V_VT(dest) = VT_BSTR;
  V_BSTR(dest) = text;
  return S_OK;
}
