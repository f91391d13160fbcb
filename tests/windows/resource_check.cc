// Reads back the resources of KEFConvert.dll the way Windows tools do: the version
// information through the version API and the embedded type library through the automation
// runtime, after the machine the file is built for. Prints one line per value; the test
// compares the lines with what they must be.
//
// usage: resource_check KEFConvert.dll
#include <windows.h>  // with the automation declarations of ole2.h

#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string Narrow(const wchar_t* text) {
  std::string out;
  for (; text != nullptr && *text != L'\0'; ++text) {
    out += *text < 0x80 ? static_cast<char>(*text) : '?';
  }
  return out;
}

std::string GuidText(const GUID& guid) {
  wchar_t text[40];
  StringFromGUID2(guid, text, 40);
  return Narrow(text);
}

std::string VersionText(DWORD high, DWORD low) {
  return std::to_string(HIWORD(high)) + "." + std::to_string(LOWORD(high)) + "." +
         std::to_string(HIWORD(low)) + "." + std::to_string(LOWORD(low));
}

// The machine field of the file's PE header.
void PrintMachine(const wchar_t* path) {
  IMAGE_DOS_HEADER dos = {};
  IMAGE_FILE_HEADER file = {};
  DWORD signature = 0;
  std::ifstream in(path, std::ios::binary);
  in.read(reinterpret_cast<char*>(&dos), sizeof dos);
  in.seekg(dos.e_lfanew);
  in.read(reinterpret_cast<char*>(&signature), sizeof signature);
  in.read(reinterpret_cast<char*>(&file), sizeof file);
  if (!in || dos.e_magic != IMAGE_DOS_SIGNATURE || signature != IMAGE_NT_SIGNATURE) {
    std::printf("machine: not a PE file\n");
    return;
  }
  switch (file.Machine) {
    case IMAGE_FILE_MACHINE_I386: std::printf("machine: x86\n"); break;
    case IMAGE_FILE_MACHINE_AMD64: std::printf("machine: x64\n"); break;
    default: std::printf("machine: 0x%04X\n", file.Machine);
  }
}

std::string OsText(DWORD os) {
  switch (os) {
    case VOS__WINDOWS32: return "32-bit Windows";
    case VOS_NT_WINDOWS32: return "Windows NT";
    default: return "other";
  }
}

void PrintVersionInfo(const wchar_t* path) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  std::vector<char> data(size);
  if (size == 0 || !GetFileVersionInfoW(path, 0, size, data.data())) {
    std::printf("version information: missing\n");
    return;
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length)) {
    std::printf("file version: %s\n",
                VersionText(fixed->dwFileVersionMS, fixed->dwFileVersionLS).c_str());
    std::printf("product version: %s\n",
                VersionText(fixed->dwProductVersionMS, fixed->dwProductVersionLS).c_str());
    std::printf("file type: %s\n", fixed->dwFileType == VFT_DLL ? "DLL" : "other");
    std::printf("file os: %s\n", OsText(fixed->dwFileOS).c_str());
  }
  WORD* translation = nullptr;
  if (VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                     reinterpret_cast<void**>(&translation), &length) &&
      length >= 4) {
    std::printf("translation: %04X %u\n", translation[0], translation[1]);
  }
  for (const wchar_t* name : {L"CompanyName", L"FileVersion", L"InternalName", L"OLESelfRegister",
                              L"OriginalFilename", L"ProductName", L"ProductVersion"}) {
    std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    wchar_t* value = nullptr;
    if (VerQueryValueW(data.data(), key.c_str(), reinterpret_cast<void**>(&value), &length)) {
      std::printf("%s: \"%s\"\n", Narrow(name).c_str(), Narrow(value).c_str());
    } else {
      std::printf("%s: missing\n", Narrow(name).c_str());
    }
  }
}

std::string KindText(TYPEKIND kind) {
  switch (kind) {
    case TKIND_INTERFACE: return "interface";
    case TKIND_DISPATCH: return "dispatch";
    case TKIND_COCLASS: return "coclass";
    default: return "kind " + std::to_string(static_cast<int>(kind));
  }
}

std::string FlagsText(WORD flags) {
  std::string text;
  const std::pair<WORD, const char*> names[] = {{TYPEFLAG_FAPPOBJECT, "appobject"},
                                                {TYPEFLAG_FCANCREATE, "cancreate"},
                                                {TYPEFLAG_FHIDDEN, "hidden"},
                                                {TYPEFLAG_FDUAL, "dual"},
                                                {TYPEFLAG_FNONEXTENSIBLE, "nonextensible"},
                                                {TYPEFLAG_FOLEAUTOMATION, "oleautomation"},
                                                {TYPEFLAG_FDISPATCHABLE, "dispatchable"}};
  for (const auto& [flag, name] : names) {
    if (flags & flag) text += std::string(text.empty() ? "" : " ") + name;
  }
  return text;
}

// The name of the interface that implemented type `index` of `info` refers to.
std::string ImplementedName(ITypeInfo* info, UINT index) {
  HREFTYPE reference = 0;
  ITypeInfo* implemented = nullptr;
  std::string text = "?";
  if (SUCCEEDED(info->GetRefTypeOfImplType(index, &reference)) &&
      SUCCEEDED(info->GetRefTypeInfo(reference, &implemented))) {
    BSTR name = nullptr;
    implemented->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
    text = Narrow(name);
    SysFreeString(name);
    implemented->Release();
  }
  return text;
}

void PrintFunction(ITypeInfo* info, UINT index) {
  FUNCDESC* function = nullptr;
  if (FAILED(info->GetFuncDesc(index, &function))) return;
  BSTR names[3] = {};
  UINT count = 0;
  info->GetNames(function->memid, names, 3, &count);
  std::printf("  slot %d: %s id 0x%08lX, %d parameters\n",
              function->oVft / static_cast<int>(sizeof(void*)) + 1, Narrow(names[0]).c_str(),
              static_cast<unsigned long>(function->memid), function->cParams);
  for (SHORT i = 0; i < function->cParams; ++i) {
    const ELEMDESC& parameter = function->lprgelemdescParam[i];
    USHORT flags = parameter.paramdesc.wParamFlags;
    std::printf("  parameter %d: %s type %d%s%s%s%s\n", i + 1,
                i + 1 < static_cast<SHORT>(count) ? Narrow(names[i + 1]).c_str() : "(unnamed)",
                parameter.tdesc.vt == VT_PTR ? parameter.tdesc.lptdesc->vt : parameter.tdesc.vt,
                parameter.tdesc.vt == VT_PTR ? " by reference" : "",
                flags & PARAMFLAG_FIN ? " in" : "", flags & PARAMFLAG_FOUT ? " out" : "",
                flags & PARAMFLAG_FRETVAL ? " retval" : "");
  }
  for (BSTR name : names) SysFreeString(name);
  info->ReleaseFuncDesc(function);
}

// A dual interface has a second description: the one of its function table. Its size is
// counted in pointers of the library's platform, which is not this program's when a 64-bit
// program reads the 32-bit DLL.
void PrintVtableSide(ITypeInfo* info, unsigned pointer_size) {
  HREFTYPE reference = 0;
  ITypeInfo* side = nullptr;
  if (FAILED(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &reference)) ||
      FAILED(info->GetRefTypeInfo(reference, &side))) {
    std::printf("function table side: missing\n");
    return;
  }
  TYPEATTR* attributes = nullptr;
  if (SUCCEEDED(side->GetTypeAttr(&attributes))) {
    std::printf("function table side: %s (%s), %u slots\n", KindText(attributes->typekind).c_str(),
                FlagsText(attributes->wTypeFlags).c_str(),
                static_cast<unsigned>(attributes->cbSizeVft / pointer_size));
    for (UINT i = 0; i < attributes->cFuncs; ++i) PrintFunction(side, i);
    side->ReleaseTypeAttr(attributes);
  }
  side->Release();
}

void PrintTypeInfo(ITypeLib* library, UINT index, unsigned pointer_size) {
  ITypeInfo* info = nullptr;
  if (FAILED(library->GetTypeInfo(index, &info))) return;
  BSTR name = nullptr;
  info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
  TYPEATTR* attributes = nullptr;
  if (SUCCEEDED(info->GetTypeAttr(&attributes))) {
    std::printf("type %u: %s %s %s version %u.%u (%s)\n", index, Narrow(name).c_str(),
                KindText(attributes->typekind).c_str(), GuidText(attributes->guid).c_str(),
                attributes->wMajorVerNum, attributes->wMinorVerNum,
                FlagsText(attributes->wTypeFlags).c_str());
    if (attributes->wTypeFlags & TYPEFLAG_FDUAL) PrintVtableSide(info, pointer_size);
    for (UINT i = 0; i < attributes->cImplTypes; ++i) {
      std::printf("type %u implements %s\n", index, ImplementedName(info, i).c_str());
    }
    info->ReleaseTypeAttr(attributes);
  }
  SysFreeString(name);
  info->Release();
}

const char* SyskindText(SYSKIND kind) {
  switch (kind) {
    case SYS_WIN32: return "win32";
    case SYS_WIN64: return "win64";
    default: return "other";
  }
}

void PrintTypeLibrary(const wchar_t* path) {
  HMODULE module = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  HRSRC resource = module ? FindResourceW(module, MAKEINTRESOURCEW(1), L"TYPELIB") : nullptr;
  std::printf("resource TYPELIB 1: %s\n", resource ? "present" : "missing");
  if (module) FreeLibrary(module);

  ITypeLib* library = nullptr;
  HRESULT result = LoadTypeLibEx(path, REGKIND_NONE, &library);
  if (FAILED(result)) {
    std::printf("type library: cannot load (0x%08lX)\n", static_cast<unsigned long>(result));
    return;
  }
  BSTR name = nullptr;
  library->GetDocumentation(-1, &name, nullptr, nullptr, nullptr);
  TLIBATTR* attributes = nullptr;
  unsigned pointer_size = sizeof(void*);
  if (SUCCEEDED(library->GetLibAttr(&attributes))) {
    pointer_size = attributes->syskind == SYS_WIN64 ? 8 : 4;
    std::printf("type library: %s %s version %u.%u %s\n", Narrow(name).c_str(),
                GuidText(attributes->guid).c_str(), attributes->wMajorVerNum,
                attributes->wMinorVerNum, SyskindText(attributes->syskind));
    library->ReleaseTLibAttr(attributes);
  }
  SysFreeString(name);
  UINT count = library->GetTypeInfoCount();
  std::printf("type infos: %u\n", count);
  for (UINT i = 0; i < count; ++i) PrintTypeInfo(library, i, pointer_size);
  library->Release();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: resource_check DLL\n");
    return 64;
  }
  PrintMachine(argv[1]);
  PrintVersionInfo(argv[1]);
  PrintTypeLibrary(argv[1]);
  return 0;
}
