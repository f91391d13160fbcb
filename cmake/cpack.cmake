# Packages users download, made with CPack:
#
# - on Linux, a Debian package of everything "cmake --install" installs: the tool, the
#   library, the COM server and its host, the manual page (cpack -G DEB in a build
#   configured with -DCMAKE_INSTALL_PREFIX=/usr); its dependencies come from dpkg-shlibdeps.
# - on Windows, KEFConvert-VERSION-win.zip: the 32-bit DLL in x86/, the 64-bit DLL in x64/,
#   kefconvert.exe (32-bit, for every Windows), register.cmd and unregister.cmd, and the
#   README as README.txt. A Windows build holds one of the two DLLs, so the ZIP is made in
#   one of the two builds from both: KEFCONVERT_OTHER_WINDOWS_BUILD names the other one's
#   build folder, built first.
set(CPACK_PACKAGE_NAME kefconvert)
set(CPACK_PACKAGE_VENDOR "The KEFConvert developers")
set(CPACK_PACKAGE_CONTACT "The KEFConvert developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "converts code generator project files to the element layout")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_STRIP_FILES ON)

if(NOT WIN32)
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # below the summary line, which CPack puts first
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "The command-line tool kefconvert, the static library libkefconvert with its C++\n"
      "header, CMake package and pkg-config file, and the COM component libKEFConvert.so\n"
      "with its host program kefconvert-host.")
  string(JOIN "" CPACK_DEBIAN_PACKAGE_DESCRIPTION ${CPACK_DEBIAN_PACKAGE_DESCRIPTION})
  include(CPack)
  return()
endif()

# What the ZIP takes from each build, in components of their own that "cmake --install"
# leaves alone: "zip_dll" the DLL in its width's folder, "zip_files" the rest (from the
# 32-bit build, whose tool runs on every Windows).
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(dll_folder x64)
else()
  set(dll_folder x86)
endif()
install(TARGETS KEFConvert RUNTIME DESTINATION ${dll_folder} COMPONENT zip_dll EXCLUDE_FROM_ALL)
install(TARGETS kefconvert_cli RUNTIME DESTINATION . COMPONENT zip_files EXCLUDE_FROM_ALL)

# Windows' own tools want CR LF lines.
function(kefconvert_write_crlf source destination)
  file(READ ${source} text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${destination} "${text}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
endfunction()
set(zip_files_dir ${PROJECT_BINARY_DIR}/zip)
kefconvert_write_crlf(${PROJECT_SOURCE_DIR}/README.md ${zip_files_dir}/README.txt)
foreach(script register.cmd unregister.cmd)
  kefconvert_write_crlf(${CMAKE_CURRENT_LIST_DIR}/windows/${script} ${zip_files_dir}/${script})
endforeach()
install(FILES ${zip_files_dir}/README.txt ${zip_files_dir}/register.cmd
              ${zip_files_dir}/unregister.cmd
        DESTINATION . COMPONENT zip_files EXCLUDE_FROM_ALL)

set(KEFCONVERT_OTHER_WINDOWS_BUILD "" CACHE PATH
    "Build folder of the other Windows width (32 or 64 bits), whose DLL the ZIP takes too")
if(NOT KEFCONVERT_OTHER_WINDOWS_BUILD)
  message(STATUS "No ZIP package: KEFCONVERT_OTHER_WINDOWS_BUILD is not set")
  return()
endif()

get_filename_component(other_build ${KEFCONVERT_OTHER_WINDOWS_BUILD} ABSOLUTE
                       BASE_DIR ${PROJECT_BINARY_DIR})
if(dll_folder STREQUAL x86)
  set(files_build ${PROJECT_BINARY_DIR})
else()
  set(files_build ${other_build})
endif()
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME KEFConvert-${PROJECT_VERSION}-win)
set(CPACK_INSTALL_CMAKE_PROJECTS
    ${PROJECT_BINARY_DIR} ${PROJECT_NAME} zip_dll /
    ${other_build} ${PROJECT_NAME} zip_dll /
    ${files_build} ${PROJECT_NAME} zip_files /)
include(CPack)
