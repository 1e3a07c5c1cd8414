# What an installation holds: the library (the shared object, or with
# BUILD_SHARED_LIBS off the static archives), its public headers, the system
# template set (templates/), a CMake package (find_package(LibQVBRcpEpa),
# target LibQVBRcpEpa::LibQVBRcpEpa) and a pkg-config file (LibQVBRcpEpa).
include(CMakePackageConfigHelpers)

set(QV_INCLUDE_DEST ${CMAKE_INSTALL_INCLUDEDIR}/LibQVBRcpEpa)
set(QV_CMAKE_DEST ${CMAKE_INSTALL_LIBDIR}/cmake/LibQVBRcpEpa)

# The public headers, which are include/ and the family's classes in
# LibQVBRcpEpa.h, all beneath include/LibQVBRcpEpa: the store's API as
# <LibQVBRcpEpa/...>, the family's headers as "LibQVBRcpEpa.h",
# "libqveeda/QVEFilePath.h" and so on. None includes a header of the
# library's or the sibling libraries' own.
install(DIRECTORY include/ DESTINATION ${QV_INCLUDE_DEST} FILES_MATCHING PATTERN "*.h"
  PATTERN LibQVBRcpEpa EXCLUDE)
install(DIRECTORY include/LibQVBRcpEpa/ DESTINATION ${QV_INCLUDE_DEST} FILES_MATCHING PATTERN "*.h")
install(FILES src/RcpBuilder/LibQVBRcpEpa/LibQVBRcpEpa.h DESTINATION ${QV_INCLUDE_DEST})

if(BUILD_SHARED_LIBS)
  install(TARGETS QVBRcpEpaShared EXPORT LibQVBRcpEpaTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
  set(QV_PC_LIBS "-lQVBRcpEpa")
  set(QV_PC_REQUIRES_PRIVATE "sqlite3 hogweed nettle zlib")
  set(QV_FIND_DEPENDENCIES "")
else()
  set_target_properties(QVBRcpEpa PROPERTIES EXPORT_NAME LibQVBRcpEpa)
  install(TARGETS QVBRcpEpa qveeda qvecommon QVCCommon qvplatform EXPORT LibQVBRcpEpaTargets
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
  set(QV_PC_LIBS "-Wl,--undefined=QVBRcpEpaModuleFrame -lQVBRcpEpa -lqveeda -lqvecommon -lQVCCommon -lqvplatform -ldl")
  set(QV_PC_REQUIRES_PRIVATE "sqlite3 hogweed nettle zlib")
  set(QV_FIND_DEPENDENCIES "find_dependency(SQLite3)")
endif()

install(EXPORT LibQVBRcpEpaTargets NAMESPACE LibQVBRcpEpa:: DESTINATION ${QV_CMAKE_DEST})
configure_package_config_file(cmake/LibQVBRcpEpaConfig.cmake.in
  ${PROJECT_BINARY_DIR}/LibQVBRcpEpaConfig.cmake INSTALL_DESTINATION ${QV_CMAKE_DEST})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/LibQVBRcpEpaConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/LibQVBRcpEpaConfig.cmake ${PROJECT_BINARY_DIR}/LibQVBRcpEpaConfigVersion.cmake
  DESTINATION ${QV_CMAKE_DEST})

# The pkg-config file finds the installation from where it lies, so that an
# installation moved with --prefix works.
file(RELATIVE_PATH QV_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" QV_PC_TO_PREFIX "${QV_PC_TO_PREFIX}")
configure_file(cmake/LibQVBRcpEpa.pc.in ${PROJECT_BINARY_DIR}/LibQVBRcpEpa.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/LibQVBRcpEpa.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The documents the man page points to, where it says they are.
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/libqvbrcpepa)
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/libqvbrcpepa/docs FILES_MATCHING PATTERN "*.md")
