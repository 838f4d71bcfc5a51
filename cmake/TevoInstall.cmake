# The client SDK that `cmake --install` produces:
#   include/tevo/...         public headers (tevo/platform.h, tevo/visa.h, generated headers)
#   lib/                     shared libraries, the CMake package and pkg-config files
#   bin/                     programs
# An outside project does find_package(Tevo CONFIG REQUIRED) and links Tevo::com.

include(CMakePackageConfigHelpers)

# Every target that belongs to the SDK is added to this list by its folder.
get_property(tevo_sdk_targets GLOBAL PROPERTY TEVO_SDK_TARGETS)
list(PREPEND tevo_sdk_targets tevo_win tevo_com)

install(TARGETS ${tevo_sdk_targets}
        EXPORT TevoTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

get_property(tevo_sdk_programs GLOBAL PROPERTY TEVO_SDK_PROGRAMS)
if(tevo_sdk_programs)
  install(TARGETS ${tevo_sdk_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# Public header folders: every `include/` folder of a platform component.
get_property(tevo_header_dirs GLOBAL PROPERTY TEVO_SDK_HEADER_DIRS)
list(PREPEND tevo_header_dirs
     ${CMAKE_CURRENT_SOURCE_DIR}/platform/win/include/
     ${CMAKE_CURRENT_SOURCE_DIR}/platform/com/include/)
foreach(dir IN LISTS tevo_header_dirs)
  install(DIRECTORY ${dir} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} FILES_MATCHING PATTERN "*.h")
endforeach()

set(TEVO_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Tevo)
install(EXPORT TevoTargets NAMESPACE Tevo:: DESTINATION ${TEVO_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_SOURCE_DIR}/cmake/TevoConfig.cmake.in
                              ${CMAKE_CURRENT_BINARY_DIR}/TevoConfig.cmake
                              INSTALL_DESTINATION ${TEVO_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/TevoConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/TevoConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/TevoConfigVersion.cmake
        DESTINATION ${TEVO_CMAKE_DIR})

# pkg-config files: one per client-facing library.
get_property(tevo_pc_files GLOBAL PROPERTY TEVO_SDK_PKGCONFIG)
list(PREPEND tevo_pc_files ${CMAKE_CURRENT_SOURCE_DIR}/cmake/tevo-com.pc.in)
foreach(pc_in IN LISTS tevo_pc_files)
  get_filename_component(pc_name ${pc_in} NAME_WE)
  configure_file(${pc_in} ${CMAKE_CURRENT_BINARY_DIR}/pkgconfig/${pc_name}.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/pkgconfig/${pc_name}.pc
          DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()
