# Installation: the kefconvert tool, the static library with its one public header, a
# CMake package (find_package(kefconvert CONFIG) gives kefconvert::kefconvert), a
# pkg-config file, the kefconvert(1) manual page, the README and the CHANGELOG.
# The COM server libKEFConvert.so and, on Linux, its host program kefconvert-host (which
# registers the server, as regsvr32 does, and converts through it by ProgID) go in too.
# Three components, so that packagers can split them: "runtime" (what a user of the tool
# needs), "development" (what a program built against the library needs) and "com".
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The version lives in two places, the project() call and kVersion in the public header
# (which the tool prints); a release that bumps one and forgets the other stops here.
file(STRINGS "${PROJECT_SOURCE_DIR}/include/kefconvert/kefconvert.h" kefconvert_version_line
     REGEX "kVersion = \"[^\"]*\"")
string(REGEX MATCH "\"([^\"]*)\"" _ "${kefconvert_version_line}")
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "kefconvert.h says kVersion = \"${CMAKE_MATCH_1}\" but the project "
                      "version is ${PROJECT_VERSION}; make them agree")
endif()

# Consumers compile the public header themselves; it needs C++17 (the library is C++20).
target_compile_features(kefconvert INTERFACE cxx_std_17)

set(kefconvert_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/kefconvert)

install(TARGETS kefconvert_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(FILES man/kefconvert.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
install(FILES README.md CHANGELOG.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)

# The server is registered by its absolute path, so it goes where the host looks for
# libraries; registration is the user's step (kefconvert-host --register PATH).
install(TARGETS KEFConvert LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT com
                           RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT com)
if(TARGET kefconvert_host)
  install(TARGETS kefconvert_host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT com)
endif()
# The client header of the component with the headers it includes, in the layout of src/,
# so that clients compile with -I PREFIX/include/kefconvert/com as with -I src here.
set(kefconvert_com_includedir ${CMAKE_INSTALL_INCLUDEDIR}/kefconvert/com)
install(FILES src/component/kefconvert_com.h DESTINATION ${kefconvert_com_includedir}/component
        COMPONENT com)
install(FILES src/platform/com/com_platform.h
        DESTINATION ${kefconvert_com_includedir}/platform/com COMPONENT com)
if(NOT WIN32)
  install(FILES src/platform/linux_com/com_types.h src/platform/linux_com/com_interfaces.h
          DESTINATION ${kefconvert_com_includedir}/platform/linux_com COMPONENT com)
endif()

install(TARGETS kefconvert EXPORT kefconvertTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES include/kefconvert/kefconvert.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kefconvert COMPONENT development)
install(EXPORT kefconvertTargets NAMESPACE kefconvert:: DESTINATION ${kefconvert_cmake_dir}
        COMPONENT development)

configure_package_config_file(cmake/kefconvertConfig.cmake.in
  ${PROJECT_BINARY_DIR}/kefconvertConfig.cmake
  INSTALL_DESTINATION ${kefconvert_cmake_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kefconvertConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/kefconvertConfig.cmake
              ${PROJECT_BINARY_DIR}/kefconvertConfigVersion.cmake
        DESTINATION ${kefconvert_cmake_dir} COMPONENT development)

# The pkg-config file is written when installing, so that it names the prefix actually
# installed into (cmake --install --prefix DIR), not the one configured.
foreach(kind LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${kind}}")
    set(kefconvert_pc_${kind} "${CMAKE_INSTALL_${kind}}")
  else()
    set(kefconvert_pc_${kind} "\${prefix}/${CMAKE_INSTALL_${kind}}")
  endif()
endforeach()
install(CODE "
  set(prefix \"\${CMAKE_INSTALL_PREFIX}\")
  set(pc_libdir [[${kefconvert_pc_LIBDIR}]])
  set(pc_includedir [[${kefconvert_pc_INCLUDEDIR}]])
  set(PROJECT_VERSION ${PROJECT_VERSION})
  configure_file([[${PROJECT_SOURCE_DIR}/cmake/kefconvert.pc.in]]
                 [[${PROJECT_BINARY_DIR}/kefconvert.pc]] @ONLY)
" COMPONENT development)
install(FILES ${PROJECT_BINARY_DIR}/kefconvert.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)
include(${CMAKE_CURRENT_LIST_DIR}/cpack.cmake)
