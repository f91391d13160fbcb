# KEFConvert.dll: the component's sources with the Windows platform services, the four
# server exports under their plain names (KEFConvert.def), and the resources: the type
# library that widl compiles from KEFConvert.idl, embedded as TYPELIB 1, and the version
# information (KEFConvert.rc).
#
# The MinGW packages ship no .idl files and no stdole2.tlb: widl takes oaidl.idl from
# Wine's headers (Debian: libwine-dev) and stdole2.tlb from Wine's 32-bit libraries
# (Debian: libwine:i386, which wine32:i386 brings along).
enable_language(RC)

set(win32_com ${PROJECT_SOURCE_DIR}/src/platform/win32_com)

find_program(KEFCONVERT_WIDL NAMES i686-w64-mingw32-widl widl
             REQUIRED)
find_path(KEFCONVERT_IDL_DIR oaidl.idl PATHS /usr/include/wine/wine/windows
          NO_CMAKE_FIND_ROOT_PATH REQUIRED
          DOC "folder of oaidl.idl, which KEFConvert.idl imports")
find_path(KEFCONVERT_STDOLE2_DIR stdole2.tlb PATHS /usr/lib/i386-linux-gnu/wine/i386-windows
          NO_CMAKE_FIND_ROOT_PATH REQUIRED
          DOC "folder of the 32-bit stdole2.tlb, which KEFConvert.idl imports")

set(typelib ${CMAKE_CURRENT_BINARY_DIR}/KEFConvert.tlb)
add_custom_command(
  OUTPUT ${typelib}
  COMMAND ${KEFCONVERT_WIDL} --win32 -I ${KEFCONVERT_IDL_DIR} -L ${KEFCONVERT_STDOLE2_DIR}
          -t -o ${typelib} ${PROJECT_SOURCE_DIR}/src/component/KEFConvert.idl
  DEPENDS ${PROJECT_SOURCE_DIR}/src/component/KEFConvert.idl
  COMMENT "Compiling the type library KEFConvert.tlb")

target_sources(KEFConvert PRIVATE ${win32_com}/KEFConvert.rc ${win32_com}/KEFConvert.def)
set_source_files_properties(${win32_com}/KEFConvert.rc PROPERTIES OBJECT_DEPENDS ${typelib})
# windres finds "KEFConvert.tlb" on the include path
target_include_directories(KEFConvert PRIVATE ${CMAKE_CURRENT_BINARY_DIR})
target_link_libraries(KEFConvert PRIVATE oleaut32 ole32 uuid advapi32)
# "KEFConvert.dll", not MinGW's "libKEFConvert.dll"; hosts load it by path, so no import
# library either
set_target_properties(KEFConvert PROPERTIES PREFIX "" IMPORT_PREFIX "" OUTPUT_NAME KEFConvert)
