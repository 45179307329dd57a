# corvex_add_library(NAME SOURCES ... [DEPS ...] [EXPORT_NAME name] [INTERNAL] [NOINSTALL]
#                    [FIND_DEPENDENCIES "Pkg [args]" ...] [PKG_CONFIG module ...] [PKG_CONFIG_LIBS flag ...])
# One library per module folder. Public headers live in include/corvex/ and are included as
# <corvex/folder/name.h>; private headers stay beside the sources as "folder/name.h".
#
# A framework library follows BUILD_SHARED_LIBS (static by default; shared ones carry VERSION and
# SOVERSION), gets the in-tree alias Corvex::<export name> (default: NAME without "corvex_"), and
# is installed and exported in the Corvex package. INTERNAL marks a library users do not name
# themselves: it is still installed and exported (the static libraries above it need it) but stays
# out of Corvex::corvex's own list. NOINSTALL makes a static library of this tree's programs
# (sandbox, tools), never installed.
#
# The system packages the library links are named for its users: FIND_DEPENDENCIES go into
# CorvexConfig.cmake as find_dependency() calls (one quoted string each, e.g. "OpenGL COMPONENTS
# OpenGL GLX"), PKG_CONFIG modules and PKG_CONFIG_LIBS flags into corvex.pc.
function(corvex_add_library name)
    cmake_parse_arguments(ARG "INTERNAL;NOINSTALL" "EXPORT_NAME"
                          "SOURCES;DEPS;FIND_DEPENDENCIES;PKG_CONFIG;PKG_CONFIG_LIBS" ${ARGN})
    if(ARG_NOINSTALL)
        add_library(${name} STATIC ${ARG_SOURCES})
    else()
        add_library(${name} ${ARG_SOURCES})
    endif()
    target_include_directories(${name}
        PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include> $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>
        PRIVATE ${PROJECT_SOURCE_DIR})
    target_compile_features(${name} PUBLIC cxx_std_20)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
    if(ARG_NOINSTALL)
        return()
    endif()

    if(NOT ARG_EXPORT_NAME)
        string(REGEX REPLACE "^corvex_" "" ARG_EXPORT_NAME ${name})
    endif()
    set_target_properties(${name} PROPERTIES
        EXPORT_NAME ${ARG_EXPORT_NAME}
        VERSION ${PROJECT_VERSION}
        SOVERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR})
    add_library(Corvex::${ARG_EXPORT_NAME} ALIAS ${name})
    # Lowest layer first: the order libraries are added is the order the linker needs reversed.
    set_property(GLOBAL APPEND PROPERTY CORVEX_LIBRARIES ${name})
    if(NOT ARG_INTERNAL)
        set_property(GLOBAL APPEND PROPERTY CORVEX_PUBLIC_LIBRARIES ${name})
    endif()
    foreach(dependency IN LISTS ARG_FIND_DEPENDENCIES)
        set_property(GLOBAL APPEND PROPERTY CORVEX_FIND_DEPENDENCIES "${dependency}")
    endforeach()
    set_property(GLOBAL APPEND PROPERTY CORVEX_PC_MODULES ${ARG_PKG_CONFIG})
    set_property(GLOBAL APPEND PROPERTY CORVEX_PC_EXTRA_LIBS ${ARG_PKG_CONFIG_LIBS})
    if(CORVEX_INSTALL)
        install(TARGETS ${name} EXPORT CorvexTargets
            ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Corvex_Development
            LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Corvex_Runtime
                    NAMELINK_COMPONENT Corvex_Development
            RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Corvex_Runtime)
    endif()
endfunction()

# corvex_install_program(TARGET): installs one of this tree's programs (tools, sandbox) to bin/.
function(corvex_install_program target)
    if(CORVEX_INSTALL)
        install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Corvex_Programs)
    endif()
endfunction()

# corvex_add_test(NAME SOURCES ... [DEPS ...] [DISPLAY])
# A GoogleTest binary. Plain tests are registered case by case; DISPLAY tests run
# as one CTest entry under a private Xvfb started by scripts/with-xvfb.sh (cross-built ones case
# by case, one at a time, in the Xvfb of scripts/test-windows.sh).
function(corvex_add_test name)
    if(NOT CORVEX_BUILD_TESTS)
        return()
    endif()
    cmake_parse_arguments(ARG "DISPLAY" "TIMEOUT" "SOURCES;DEPS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main Threads::Threads)
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    if(ARG_DISPLAY AND NOT CMAKE_CROSSCOMPILING)
        add_test(NAME ${name}
                 COMMAND ${PROJECT_SOURCE_DIR}/scripts/with-xvfb.sh $<TARGET_FILE:${name}>
                 WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
        set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS display)
    elseif(CMAKE_CROSSCOMPILING)
        # Cross-built (Windows under Wine): the cases are listed when the suite runs, in its Wine
        # session, rather than by starting Wine at build time. The suite runs in one Xvfb
        # (scripts/test-windows.sh), so DISPLAY cases are registered like the others, but run one
        # at a time: the pointer and the active window are the whole display's.
        set(serial)
        if(ARG_DISPLAY)
            set(serial RUN_SERIAL TRUE LABELS display)
        endif()
        gtest_discover_tests(${name} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
                             PROPERTIES TIMEOUT ${ARG_TIMEOUT} ${serial} DISCOVERY_TIMEOUT 120 DISCOVERY_MODE PRE_TEST)
    else()
        gtest_discover_tests(${name} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
                             PROPERTIES TIMEOUT ${ARG_TIMEOUT} DISCOVERY_TIMEOUT 60)
    endif()
endfunction()

# corvex_add_benchmark(NAME SOURCES ... [DEPS ...]): a Google Benchmark program, built when
# CORVEX_BUILD_BENCHMARKS is on and run by hand (see BENCHMARKS.md); never part of the test suite.
function(corvex_add_benchmark name)
    if(NOT CORVEX_BUILD_BENCHMARKS)
        return()
    endif()
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} benchmark::benchmark Threads::Threads)
endfunction()
