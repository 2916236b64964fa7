# kvl_install()
#   Installs the library, its public headers, the kvl tool, the docs and
#   the examples, with a CMake package (KVLCommonConfig.cmake, target
#   KVLCommon::kvlcommon, and KVLCommon::activation for clients that load
#   the library through the registry) and a pkg-config file (kvlcommon.pc);
#   sets up CPack for the Debian packages libkvlcommon1 and libkvlcommon-dev.
#
#   Headers are installed per subsystem folder, so a new kvl/<name>/ is
#   installed as soon as it declares itself with kvl_subsystem(). Left out:
#   internal/ folders, test helpers (testing/, test_*.h) and tests.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(KVL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/KVLCommon)
set(KVL_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/kvlcommon)

function(kvl_install)
  target_include_directories(kvlcommon PUBLIC
                             $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  install(TARGETS kvlcommon EXPORT KVLCommonTargets
          LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
                  COMPONENT runtime NAMELINK_COMPONENT dev)
  # The registry client (KVLCommon::activation) loads the library by
  # programmatic id without linking it.
  target_include_directories(kvl_activation PUBLIC
                             $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  set_target_properties(kvl_activation PROPERTIES EXPORT_NAME activation)
  install(TARGETS kvl_activation EXPORT KVLCommonTargets
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
  # The tool finds the library beside it in a private prefix too; in a
  # directory the loader searches anyway (/usr/lib/<triplet> for the Debian
  # package) it carries no run path at all.
  list(FIND CMAKE_CXX_IMPLICIT_LINK_DIRECTORIES "${CMAKE_INSTALL_FULL_LIBDIR}"
       system_libdir)
  if(system_libdir LESS 0)
    file(RELATIVE_PATH lib_from_bin /${CMAKE_INSTALL_BINDIR}
         /${CMAKE_INSTALL_LIBDIR})
    set_target_properties(kvl PROPERTIES INSTALL_RPATH
                                         "$ORIGIN/${lib_from_bin}")
  endif()
  install(TARGETS kvl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
          COMPONENT runtime)

  foreach(name IN LISTS KVL_SUBSYSTEMS)
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/kvl/${name}/
            DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kvl/${name}
            COMPONENT dev
            FILES_MATCHING PATTERN "*.h"
            PATTERN "internal" EXCLUDE
            PATTERN "testing" EXCLUDE
            PATTERN "client" EXCLUDE
            PATTERN "test_*.h" EXCLUDE)
  endforeach()

  install(EXPORT KVLCommonTargets NAMESPACE KVLCommon::
          DESTINATION ${KVL_CMAKE_DIR} COMPONENT dev)
  configure_package_config_file(
    ${PROJECT_SOURCE_DIR}/cmake/KVLCommonConfig.cmake.in
    ${PROJECT_BINARY_DIR}/KVLCommonConfig.cmake
    INSTALL_DESTINATION ${KVL_CMAKE_DIR})
  write_basic_package_version_file(
    ${PROJECT_BINARY_DIR}/KVLCommonConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
  install(FILES ${PROJECT_BINARY_DIR}/KVLCommonConfig.cmake
                ${PROJECT_BINARY_DIR}/KVLCommonConfigVersion.cmake
          DESTINATION ${KVL_CMAKE_DIR} COMPONENT dev)

  # The prefix is found from the file's own place, so the file stays right
  # whatever prefix `cmake --install --prefix` is given.
  file(RELATIVE_PATH pc_to_prefix /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
  string(REGEX REPLACE "/$" "" pc_to_prefix "${pc_to_prefix}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/kvlcommon.pc.in
                 ${PROJECT_BINARY_DIR}/kvlcommon.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/kvlcommon.pc
          DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${KVL_DOC_DIR}
          COMPONENT dev)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${KVL_DOC_DIR}
          COMPONENT dev)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/
          DESTINATION ${KVL_DOC_DIR}/examples COMPONENT dev
          FILES_MATCHING PATTERN "*.cc" PATTERN "*.h")

  # The installed tree's headers stand on their own, without internal/ ones.
  add_test(NAME installed_headers
           COMMAND ${PROJECT_SOURCE_DIR}/tests/install_consumer.sh
                   ${PROJECT_BINARY_DIR} --headers-only)
endfunction()

# Debian packages: the shared library and the tool in libkvlcommon1, the
# headers, CMake package, pkg-config file, docs and examples in
# libkvlcommon-dev.
set(CPACK_PACKAGE_NAME kvlcommon)
set(CPACK_PACKAGE_VENDOR "KVLCommon developers")
set(CPACK_PACKAGE_CONTACT "KVLCommon developers <kvlcommon@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "C++20 component library of general-purpose classes")
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A shlibs file and the ldconfig trigger for the library package.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_LIST_DIR}/debian/triggers)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libkvlcommon1)
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libkvlcommon-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS
    "libkvlcommon1 (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_DEV_DEPENDS runtime)
include(CPack)
