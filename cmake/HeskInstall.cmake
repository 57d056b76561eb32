# Installs the libraries, the public headers under include/hesk, an exported
# CMake package (hesk::Istrel, hesk::Hesk, hesk::Quormapi) and pkg-config files.
include(CMakePackageConfigHelpers)

set(HESK_INCLUDE_SUBDIR ${CMAKE_INSTALL_INCLUDEDIR}/hesk)
set(HESK_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/hesk)

# Installed libraries find each other next to themselves, and the tools find
# them in ../lib, wherever the prefix is.
set_target_properties(Quormapi Istrel Hesk PROPERTIES INSTALL_RPATH "$ORIGIN")
# Every tool is a folder tools/<name> that builds the executable <name>.
file(GLOB tool_dirs LIST_DIRECTORIES true ${PROJECT_SOURCE_DIR}/tools/*)
foreach(dir ${tool_dirs})
  get_filename_component(tool ${dir} NAME)
  if(TARGET ${tool})
    set_target_properties(${tool} PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
  endif()
endforeach()

install(TARGETS Quormapi Istrel Hesk
  EXPORT heskTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${HESK_INCLUDE_SUBDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/
  DESTINATION ${HESK_INCLUDE_SUBDIR}
  FILES_MATCHING PATTERN "*.h")
install(EXPORT heskTargets NAMESPACE hesk:: DESTINATION ${HESK_CMAKE_DIR})

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/heskConfig.cmake.in
  ${PROJECT_BINARY_DIR}/heskConfig.cmake INSTALL_DESTINATION ${HESK_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/heskConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/heskConfig.cmake
              ${PROJECT_BINARY_DIR}/heskConfigVersion.cmake
        DESTINATION ${HESK_CMAKE_DIR})

foreach(lib Quormapi Istrel Hesk)
  set(HESK_PC_NAME ${lib})
  if(lib STREQUAL "Istrel")
    set(HESK_PC_REQUIRES "Quormapi")
  elseif(lib STREQUAL "Hesk")
    set(HESK_PC_REQUIRES "Istrel")
  else()
    set(HESK_PC_REQUIRES "")
  endif()
  if(lib STREQUAL "Hesk")
    set(HESK_PC_LIBS "-pthread")
  else()
    set(HESK_PC_LIBS "")
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/cmake/hesk.pc.in
    ${PROJECT_BINARY_DIR}/${lib}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${lib}.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()
