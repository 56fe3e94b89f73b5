# The install tree (cmake --install) and the release archive (cpack), which holds the same
# tree with the README and the install note:
#   bin/                kvtlog.exe, kvtlogps.dll, kvtlogctl.exe
#   include/            the client library (kvtlog/*.h) and the interface header kvtlog.h
#   lib/                the interface identifiers, libkvtlog_idl.a
#   lib/cmake/kvtlog/   the CMake package: find_package(kvtlog) gives kvtlog::client
# Every path in the tree is relative to its prefix, so the tree can be moved anywhere.
include(CMakePackageConfigHelpers)
set(package_dir lib/cmake/kvtlog)

install(TARGETS kvtlog kvtlogctl RUNTIME DESTINATION bin)
install(TARGETS kvtlogps LIBRARY DESTINATION bin)
install(TARGETS kvtlog_client kvt_idl EXPORT kvtlog-targets ARCHIVE DESTINATION lib)
install(DIRECTORY include/kvtlog DESTINATION include FILES_MATCHING PATTERN "*.h")
install(FILES ${PROJECT_BINARY_DIR}/idl/kvtlog.h DESTINATION include)

install(EXPORT kvtlog-targets NAMESPACE kvtlog:: DESTINATION ${package_dir})
configure_package_config_file(cmake/kvtlog-config.cmake.in ${PROJECT_BINARY_DIR}/kvtlog-config.cmake
                              INSTALL_DESTINATION ${package_dir})
# The version file also refuses a client build for another pointer size: 64-bit only.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kvtlog-config-version.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/kvtlog-config.cmake ${PROJECT_BINARY_DIR}/kvtlog-config-version.cmake
        DESTINATION ${package_dir})

configure_file(cmake/INSTALL.txt.in ${PROJECT_BINARY_DIR}/INSTALL.txt @ONLY)
install(FILES README.md ${PROJECT_BINARY_DIR}/INSTALL.txt DESTINATION .)

# kvtlog-<version>-win64.zip, from the build directory: cpack (or cmake --build --target
# package). The programs in it are stripped of their debug information.
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME kvtlog-${PROJECT_VERSION}-win64)
set(CPACK_STRIP_FILES ON)
include(CPack)
