/* The COM identity of the KEFConvert component, for C and C++ code on Windows and Linux:
 * the type library, the class Convert and its dual interface _Convert, whose eighth slot
 * is ConvertProject. It declares what KEFConvert.idl describes, in the form widl gives
 * such a description, so clients need no generated header. It is installed with what it
 * includes below PREFIX/include/kefconvert/com: compile with -I PREFIX/include/kefconvert/com
 * (or -I src in this tree) and include "component/kefconvert_com.h".
 *
 *   _Convert* converter;   (from IClassFactory::CreateInstance with IID__Convert)
 *   BSTR path = SysAllocString(OLESTR("/data/shop.kef"));
 *   VARIANT result;
 *   HRESULT hr = converter->lpVtbl->ConvertProject(converter, &path, &result);    (C)
 *   HRESULT hr = converter->ConvertProject(&path, &result);                       (C++)
 */
#ifndef KEFCONVERT_COMPONENT_KEFCONVERT_COM_H_
#define KEFCONVERT_COMPONENT_KEFCONVERT_COM_H_

#include "platform/com/com_platform.h"

DEFINE_GUID(LIBID_KEFConvert, 0x885579CE, 0x7926, 0x4AF9, 0x84, 0xF4, 0x42, 0x5D, 0xEC, 0x5A, 0xCF,
            0xAA);
DEFINE_GUID(IID__Convert, 0x22D1C84A, 0x96FF, 0x47E8, 0xA7, 0x20, 0xDC, 0x42, 0xA7, 0xEF, 0x75,
            0x17);
DEFINE_GUID(CLSID_Convert, 0x4086AB62, 0x87E5, 0x49EB, 0xAF, 0xDC, 0x30, 0xE5, 0x8A, 0x63, 0xB0,
            0xCF);

#define KEFCONVERT_PROGID "KEFConvert.Convert"
/* The type library's version, as numbers and as the registry writes it ("2.0"). */
#define KEFCONVERT_TYPELIB_MAJOR 2
#define KEFCONVERT_TYPELIB_MINOR 0
#define KEFCONVERT_STRINGIZE_(x) #x
#define KEFCONVERT_STRINGIZE(x) KEFCONVERT_STRINGIZE_(x)
#define KEFCONVERT_TYPELIB_VERSION \
  KEFCONVERT_STRINGIZE(KEFCONVERT_TYPELIB_MAJOR) "." KEFCONVERT_STRINGIZE(KEFCONVERT_TYPELIB_MINOR)
#define DISPID_ConvertProject 0x60030000

#ifdef __cplusplus

struct _Convert : public IDispatch {
  /* Converts the project file *projFile, which stays as it was. On success *result holds
   * the converted file's path (VT_BSTR), or VT_NULL when the file is not a project file
   * of the old layout; on failure it stays VT_EMPTY and the error information is set. */
  virtual HRESULT STDMETHODCALLTYPE ConvertProject(BSTR* projFile, VARIANT* result) = 0;
};

#else /* C */

typedef struct _Convert _Convert;
typedef struct _ConvertVtbl {
  HRESULT(STDMETHODCALLTYPE* QueryInterface)(_Convert* This, REFIID riid, void** object);
  ULONG(STDMETHODCALLTYPE* AddRef)(_Convert* This);
  ULONG(STDMETHODCALLTYPE* Release)(_Convert* This);
  HRESULT(STDMETHODCALLTYPE* GetTypeInfoCount)(_Convert* This, UINT* count);
  HRESULT(STDMETHODCALLTYPE* GetTypeInfo)(_Convert* This, UINT index, LCID lcid, ITypeInfo** info);
  HRESULT(STDMETHODCALLTYPE* GetIDsOfNames)
  (_Convert* This, REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids);
  HRESULT(STDMETHODCALLTYPE* Invoke)
  (_Convert* This, DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
   VARIANT* result, EXCEPINFO* exception, UINT* arg_error);
  HRESULT(STDMETHODCALLTYPE* ConvertProject)(_Convert* This, BSTR* projFile, VARIANT* result);
} _ConvertVtbl;
struct _Convert {
  const _ConvertVtbl* lpVtbl;
};

#endif /* __cplusplus */

#endif /* KEFCONVERT_COMPONENT_KEFCONVERT_COM_H_ */
