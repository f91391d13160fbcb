# KEFConvert.dll: the component's sources with the Windows platform services, the four
# server exports under their plain names (KEFConvert.def), and the resources: the type
# library that widl compiles from KEFConvert.idl, embedded as TYPELIB 1, and the version
# information (KEFConvert.rc).
#
# The same sources make the 32-bit DLL (i686 toolchain) and the 64-bit one (x86_64
# toolchain): one identity, a type library for each platform (win32 or win64).
#
# The MinGW packages ship no .idl files and no stdole2.tlb: widl takes oaidl.idl from
# Wine's headers (Debian: libwine-dev) and stdole2.tlb from Wine's libraries of the same
# width (Debian: libwine:i386, which wine32:i386 brings along, or libwine:amd64).
enable_language(RC)

set(win32_com ${PROJECT_SOURCE_DIR}/src/platform/win32_com)

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(typelib_platform win64)
  set(stdole2_dir /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
  # 64-bit functions carry no __stdcall decoration to map the exports from
  set(exports ${win32_com}/KEFConvert64.def)
else()
  set(typelib_platform win32)
  set(stdole2_dir /usr/lib/i386-linux-gnu/wine/i386-windows)
  set(exports ${win32_com}/KEFConvert.def)
endif()

find_program(KEFCONVERT_WIDL NAMES ${KEFCONVERT_MINGW_PREFIX}-widl widl REQUIRED)
find_path(KEFCONVERT_IDL_DIR oaidl.idl PATHS /usr/include/wine/wine/windows
          NO_CMAKE_FIND_ROOT_PATH REQUIRED
          DOC "folder of oaidl.idl, which KEFConvert.idl imports")
find_path(KEFCONVERT_STDOLE2_DIR stdole2.tlb PATHS ${stdole2_dir}
          NO_CMAKE_FIND_ROOT_PATH REQUIRED
          DOC "folder of the stdole2.tlb of the target's width, which KEFConvert.idl imports")

set(typelib ${CMAKE_CURRENT_BINARY_DIR}/KEFConvert.tlb)
add_custom_command(
  OUTPUT ${typelib}
  COMMAND ${KEFCONVERT_WIDL} --${typelib_platform} -I ${KEFCONVERT_IDL_DIR}
          -L ${KEFCONVERT_STDOLE2_DIR}
          -t -o ${typelib} ${PROJECT_SOURCE_DIR}/src/component/KEFConvert.idl
  DEPENDS ${PROJECT_SOURCE_DIR}/src/component/KEFConvert.idl
  COMMENT "Compiling the type library KEFConvert.tlb")

target_sources(KEFConvert PRIVATE ${win32_com}/KEFConvert.rc ${exports})
set_source_files_properties(${win32_com}/KEFConvert.rc PROPERTIES OBJECT_DEPENDS ${typelib})
# windres finds "KEFConvert.tlb" on the include path
target_include_directories(KEFConvert PRIVATE ${CMAKE_CURRENT_BINARY_DIR})
target_link_libraries(KEFConvert PRIVATE oleaut32 ole32 uuid advapi32)
# "KEFConvert.dll", not MinGW's "libKEFConvert.dll"; hosts load it by path, so no import
# library either
set_target_properties(KEFConvert PROPERTIES PREFIX "" IMPORT_PREFIX "" OUTPUT_NAME KEFConvert)
