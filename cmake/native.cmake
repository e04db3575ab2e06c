# Linux build: unit tests, simulators, tools, Wine integration tests, fuzzers, benchmarks.
find_package(GTest REQUIRED)
include(GoogleTest)
find_package(Threads REQUIRED)
target_link_libraries(s470 PUBLIC Threads::Threads)

# Fuzzers (clang's libFuzzer) build alone; each also runs briefly as a test.
if(S470_FUZZ)
  target_compile_options(s470 PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
  file(GLOB S470_FUZZERS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/*.cpp)
  foreach(fuzzer ${S470_FUZZERS})
    get_filename_component(name ${fuzzer} NAME_WE)
    add_executable(${name} ${fuzzer})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(${name} PRIVATE s470)
    add_test(NAME ${name} COMMAND ${name} -runs=30000 -max_len=4096 -seed=1)
    set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT 300)
  endforeach()
  return()
endif()

# Simulators: a library of device models plus one program per sim/*_main.cpp.
file(GLOB S470_SIM_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/sim/*.cpp)
set(S470_SIM_MAINS ${S470_SIM_SOURCES})
list(FILTER S470_SIM_MAINS INCLUDE REGEX "_main\\.cpp$")
list(FILTER S470_SIM_SOURCES EXCLUDE REGEX "_main\\.cpp$")
add_library(s470_sim STATIC ${S470_SIM_SOURCES})
target_include_directories(s470_sim PUBLIC ${CMAKE_SOURCE_DIR}/sim ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(s470_sim PUBLIC s470 Threads::Threads util)
foreach(main ${S470_SIM_MAINS})
  get_filename_component(name ${main} NAME_WE)
  string(REGEX REPLACE "_main$" "" name ${name})
  add_executable(${name} ${main})
  target_link_libraries(${name} PRIVATE s470_sim)
endforeach()

# Command-line tools (also built for Windows).
file(GLOB S470_TOOLS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/*.cpp)
foreach(tool ${S470_TOOLS})
  get_filename_component(name ${tool} NAME_WE)
  add_executable(${name} ${tool})
  target_link_libraries(${name} PRIVATE s470)
endforeach()
include(${CMAKE_SOURCE_DIR}/cmake/s470_tool.cmake)

# Unit tests of the portable core and the POSIX layer.
file(GLOB S470_UNIT_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
add_executable(unit_tests ${S470_UNIT_TESTS})
target_include_directories(unit_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/unit)
target_link_libraries(unit_tests PRIVATE s470 s470_sim GTest::gtest_main GTest::gmock)
gtest_discover_tests(unit_tests DISCOVERY_TIMEOUT 30 PROPERTIES LABELS unit)
# The firmware-file tests scramble HEX files with the native fwscramble tool.
target_compile_definitions(unit_tests PRIVATE S470_NATIVE_BIN="${CMAKE_BINARY_DIR}")
add_dependencies(unit_tests fwscramble)
target_link_libraries(unit_tests PRIVATE s470_cli)

# Integration tests: the DLL, stand-ins and host under Wine, against the simulators. Each test
# runs on the product (win32, i686, under 32-bit Wine: label wine-i686) and on the x86_64 PE of
# the same sources (label wine-x86_64), which catches pointer-size faults.
if(S470_WIN32_DIR AND S470_WIN64_DIR AND NOT S470_SANITIZE)
  file(GLOB S470_WINE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/*.cpp)
  add_executable(wine_tests ${S470_WINE_TESTS})
  target_include_directories(wine_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/wine)
  target_compile_definitions(wine_tests PRIVATE
    S470_WIN32_BIN="${S470_WIN32_DIR}/bin" S470_WIN64_BIN="${S470_WIN64_DIR}/bin"
    S470_SOURCE_DIR="${CMAKE_SOURCE_DIR}" S470_NATIVE_BIN="${CMAKE_BINARY_DIR}")
  target_link_libraries(wine_tests PRIVATE s470_sim GTest::gtest_main GTest::gmock)
  # One Wine prefix per build and fixed COM numbers: these run one at a time.
  include(${CMAKE_SOURCE_DIR}/cmake/wine32.cmake)
  foreach(build win32 win64)
    set(arch i686)
    set(disabled ${S470_WINE32_DISABLED})
    if(build STREQUAL "win64")
      set(arch x86_64)
      set(disabled FALSE)
    endif()
    gtest_discover_tests(wine_tests DISCOVERY_TIMEOUT 30 TEST_PREFIX "${arch}."
      PROPERTIES RUN_SERIAL TRUE LABELS wine-${arch} TIMEOUT 300 ENVIRONMENT "S470_WINE_BUILD=${build}"
      DISABLED ${disabled})
  endforeach()
endif()

# Benchmarks: figures, not pass/fail; run by scripts/bench.sh.
file(GLOB S470_BENCHES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/bench/*.cpp)
foreach(bench ${S470_BENCHES})
  get_filename_component(name ${bench} NAME_WE)
  add_executable(bench_${name} ${bench})
  target_link_libraries(bench_${name} PRIVATE s470 s470_sim)
  target_compile_definitions(bench_${name} PRIVATE S470_WIN32_BIN="${S470_WIN32_DIR}/bin"
    S470_SOURCE_DIR="${CMAKE_SOURCE_DIR}" S470_NATIVE_BIN="${CMAKE_BINARY_DIR}")
endforeach()
