// BSTR and VARIANT helpers with the memory layout and semantics of the Windows automation
// runtime: a BSTR is one malloc'd block holding a 32-bit byte length, the UTF-16 text and
// a terminating NUL, and the BSTR points at the text.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

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
