# GoogleTest: the system's package natively, built from its sources for mingw.
enable_testing()
if(WIN32)
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
    add_library(av_gtest INTERFACE)
    target_link_libraries(av_gtest INTERFACE gtest gmock)
    add_library(av_gtest_main INTERFACE)
    target_link_libraries(av_gtest_main INTERFACE gtest_main gmock)
else()
    find_package(GTest REQUIRED)
    find_package(Threads REQUIRED)
    add_library(av_gtest INTERFACE)
    target_link_libraries(av_gtest INTERFACE GTest::gtest GTest::gmock Threads::Threads)
    add_library(av_gtest_main INTERFACE)
    target_link_libraries(av_gtest_main INTERFACE GTest::gtest_main GTest::gmock Threads::Threads)
endif()

option(AV_TEST_UNITY_BUILD "Compile each test binary as a few large files" ON)

# av_add_test(NAME SOURCES... LIBS...): one test binary, one ctest entry.
# Windows test binaries are run under Wine by tests/wine/run.sh instead.
function(av_add_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} av_gtest_main)
    # A test binary compiles as a few large files, so the test framework's
    # headers are read a few times rather than once per source: a build from
    # nothing takes a third less. The code under test compiles file by file.
    # -DAV_TEST_UNITY_BUILD=OFF compiles the tests file by file too.
    if(AV_TEST_UNITY_BUILD)
        set_target_properties(${name} PROPERTIES UNITY_BUILD ON)
        if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
            # Combined, a source's anonymous-namespace fixtures look to GCC as
            # if a header declared them.
            target_compile_options(${name} PRIVATE -Wno-subobject-linkage)
        endif()
    endif()
    if(NOT WIN32)
        add_test(NAME ${name} COMMAND ${name})
    endif()
    set_property(GLOBAL APPEND PROPERTY AV_TEST_BINARIES ${name})
endfunction()
