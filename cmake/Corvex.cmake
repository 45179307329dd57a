# corvex_add_library(NAME SOURCES ... [DEPS ...])
# One library per module folder. Public headers live in include/corvex/ and are included as
# <corvex/folder/name.h>; private headers stay beside the sources as "folder/name.h".
function(corvex_add_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name}
        PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include> $<INSTALL_INTERFACE:include>
        PRIVATE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
endfunction()

# corvex_add_test(NAME SOURCES ... [DEPS ...] [DISPLAY])
# A GoogleTest binary. Plain tests are registered case by case; DISPLAY tests run
# as one CTest entry under a private Xvfb started by scripts/with-xvfb.sh.
function(corvex_add_test name)
    cmake_parse_arguments(ARG "DISPLAY" "TIMEOUT" "SOURCES;DEPS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main Threads::Threads)
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    if(ARG_DISPLAY)
        add_test(NAME ${name}
                 COMMAND ${PROJECT_SOURCE_DIR}/scripts/with-xvfb.sh $<TARGET_FILE:${name}>
                 WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
        set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS display)
    else()
        gtest_discover_tests(${name} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
                             PROPERTIES TIMEOUT ${ARG_TIMEOUT} DISCOVERY_TIMEOUT 60)
    endif()
endfunction()

# corvex_add_benchmark(NAME SOURCES ... [DEPS ...]): a Google Benchmark program, built when
# CORVEX_BENCHMARKS is on and run by hand (see BENCHMARKS.md); never part of the test suite.
function(corvex_add_benchmark name)
    if(NOT CORVEX_BENCHMARKS)
        return()
    endif()
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
    find_package(benchmark REQUIRED)
    add_executable(${name} ${ARG_SOURCES})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} benchmark::benchmark Threads::Threads)
endfunction()
