# Helpers shared by every folder: warnings, sanitizers, tests and fuzz targets.

if(HU_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(HU_FUZZ)
  # Every library is instrumented for coverage so the fuzzers can steer into it.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Our own code builds with every warning as an error.
# GCC 12 reports -Wrestrict and -Warray-bounds falsely for std::string and std::vector code
# once it is inlined at -O2 (known defects of that release), so those two stay warnings.
function(hu_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror
    $<$<CXX_COMPILER_ID:GNU>:-Wno-error=restrict -Wno-error=array-bounds>)
endfunction()

# Our libraries and `hu` compile as unity builds: up to eight sources of a target go through the
# compiler as one, so the headers they share (the standard library, fmt, JSON) are parsed and
# their inline code optimised once per batch instead of once per file. Tests keep one object per
# source. HU_UNITY_BUILD=OFF compiles every source on its own (to check a file's includes).
option(HU_UNITY_BUILD "Compile our libraries and tools in batches of sources" ON)
function(hu_unity target)
  if(HU_UNITY_BUILD)
    set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 8)
  endif()
endfunction()

# hu_compile_alone(SOURCES...): sources of this folder that keep their own object, because a
# helper of theirs in an anonymous namespace has the name of another file's (a batch would see
# both) or a system header of theirs clashes with another's.
function(hu_compile_alone)
  set_source_files_properties(${ARGN} PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
endfunction()

# hu_library(NAME SOURCES... [LIBS ...]): a static library of our own code. The repository
# root is the include root, so an include names its folder: "platform/core/files.h".
function(hu_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_LIBS})
  hu_warnings(${name})
  hu_unity(${name})
endfunction()

# hu_test(NAME SOURCES... LIBS ...): a GoogleTest binary registered with CTest. Tests run
# from the build folder and find programs through HU_BIN_DIR / HU_LIB_DIR.
function(hu_test name)
  if(NOT HU_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    HU_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    HU_BIN_DIR="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}"
    HU_LIB_DIR="${CMAKE_LIBRARY_OUTPUT_DIRECTORY}")
  hu_warnings(${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT ${ARG_TIMEOUT})
endfunction()

# hu_fuzz(NAME SOURCES... LIBS ...): a libFuzzer target, built only with HU_FUZZ=ON and clang.
function(hu_fuzz name)
  if(NOT HU_FUZZ)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  hu_warnings(${name})
endfunction()
