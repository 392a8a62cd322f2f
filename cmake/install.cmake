# What `cmake --install` puts under the prefix: the header, both libraries
# (versioned SONAMEs), the programs, vqscene.pc and the CMake package that
# gives find_package(vqscene) the imported target vqscene::vqscene.
if(VQ_BUILD_PROGRAMS)
  install(TARGETS xrwview pointsdemo paneldemo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  if(TARGET xrwconvert)
    install(TARGETS xrwconvert RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
  # xrwview's import plug-in, found from the program's folder.
  if(TARGET xrwimport_plugin)
    install(TARGETS xrwimport_plugin LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
  endif()
endif()

# pkg-config: the prefix is found from the file's own place, so the tree
# may be installed anywhere (cmake --install --prefix P) and moved.
set(VQ_PC_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH VQ_PC_TO_PREFIX /${VQ_PC_DIR} /)
string(REGEX REPLACE "/$" "" VQ_PC_TO_PREFIX "${VQ_PC_TO_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/vqscene.pc.in ${PROJECT_BINARY_DIR}/vqscene.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vqscene.pc DESTINATION ${VQ_PC_DIR})

include(CMakePackageConfigHelpers)
set(VQ_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/vqscene)
install(EXPORT vqsceneTargets NAMESPACE vqscene:: DESTINATION ${VQ_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/vqsceneConfig.cmake.in
  ${PROJECT_BINARY_DIR}/vqsceneConfig.cmake INSTALL_DESTINATION ${VQ_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/vqsceneConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/vqsceneConfig.cmake ${PROJECT_BINARY_DIR}/vqsceneConfigVersion.cmake
  DESTINATION ${VQ_CMAKE_DIR})
