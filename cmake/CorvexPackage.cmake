# The whole framework as one target (Corvex::corvex), and what `cmake --install` puts in the
# prefix besides the libraries: the public headers, the CMake package (CorvexConfig.cmake, its
# version file and the exported targets) and corvex.pc for pkg-config. Included by the top-level
# CMakeLists.txt after every module folder, so every corvex_add_library call is known here.

get_property(corvex_libraries GLOBAL PROPERTY CORVEX_LIBRARIES)
get_property(corvex_public_libraries GLOBAL PROPERTY CORVEX_PUBLIC_LIBRARIES)

add_library(corvex_framework INTERFACE)
target_link_libraries(corvex_framework INTERFACE ${corvex_public_libraries})
set_target_properties(corvex_framework PROPERTIES EXPORT_NAME corvex)
add_library(Corvex::corvex ALIAS corvex_framework)

if(NOT CORVEX_INSTALL)
    return()
endif()

include(CMakePackageConfigHelpers)
set(corvex_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Corvex)

install(TARGETS corvex_framework EXPORT CorvexTargets)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/corvex
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Corvex_Development
        FILES_MATCHING PATTERN "*.h")
install(EXPORT CorvexTargets NAMESPACE Corvex:: FILE CorvexTargets.cmake
        DESTINATION ${corvex_cmake_dir} COMPONENT Corvex_Development)

# The find_dependency() calls, each package once, in the order the modules asked for them.
get_property(corvex_dependencies GLOBAL PROPERTY CORVEX_FIND_DEPENDENCIES)
list(REMOVE_DUPLICATES corvex_dependencies)
set(CORVEX_FIND_DEPENDENCY_CALLS "")
foreach(dependency IN LISTS corvex_dependencies)
    string(APPEND CORVEX_FIND_DEPENDENCY_CALLS "find_dependency(${dependency})\n")
endforeach()

# Every exported name is also a component: find_package(Corvex COMPONENTS draw2d pixmap).
set(CORVEX_COMPONENTS corvex)
foreach(lib ${corvex_libraries})
    get_target_property(export_name ${lib} EXPORT_NAME)
    list(APPEND CORVEX_COMPONENTS ${export_name})
endforeach()
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/CorvexConfig.cmake.in
    ${PROJECT_BINARY_DIR}/CorvexConfig.cmake INSTALL_DESTINATION ${corvex_cmake_dir})
# 0.x releases may change the interface between minor versions.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/CorvexConfigVersion.cmake
    COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/CorvexConfig.cmake ${PROJECT_BINARY_DIR}/CorvexConfigVersion.cmake
        DESTINATION ${corvex_cmake_dir} COMPONENT Corvex_Development)

# corvex.pc. Libraries are listed highest layer first, as the linker wants them. With static
# libraries the system libraries are needed by every program, so they go in Requires/Libs; with
# shared ones only a static link needs them (Requires.private/Libs.private).
set(CORVEX_PC_LIBS "")
list(REVERSE corvex_libraries)
foreach(lib ${corvex_libraries})
    string(APPEND CORVEX_PC_LIBS " -l${lib}")
endforeach()
get_property(corvex_pc_modules GLOBAL PROPERTY CORVEX_PC_MODULES)
get_property(corvex_pc_extra_libs GLOBAL PROPERTY CORVEX_PC_EXTRA_LIBS)
list(REMOVE_DUPLICATES corvex_pc_modules)
list(REMOVE_DUPLICATES corvex_pc_extra_libs)
list(JOIN corvex_pc_modules " " corvex_pc_requires)
list(JOIN corvex_pc_extra_libs " " corvex_pc_libs_extra)
if(BUILD_SHARED_LIBS)
    set(CORVEX_PC_REQUIRES "")
    set(CORVEX_PC_REQUIRES_PRIVATE "${corvex_pc_requires}")
    set(CORVEX_PC_LIBS_PRIVATE "${corvex_pc_libs_extra}")
else()
    set(CORVEX_PC_REQUIRES "${corvex_pc_requires}")
    set(CORVEX_PC_REQUIRES_PRIVATE "")
    string(APPEND CORVEX_PC_LIBS " ${corvex_pc_libs_extra}")
    set(CORVEX_PC_LIBS_PRIVATE "")
endif()
# The prefix is found from the file's own place, so an installed tree can be moved.
file(RELATIVE_PATH CORVEX_PC_PREFIX_FROM_PCDIR /p/${CMAKE_INSTALL_LIBDIR}/pkgconfig /p)
string(REGEX REPLACE "/$" "" CORVEX_PC_PREFIX_FROM_PCDIR "${CORVEX_PC_PREFIX_FROM_PCDIR}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/corvex.pc.in ${PROJECT_BINARY_DIR}/corvex.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/corvex.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT Corvex_Development)
