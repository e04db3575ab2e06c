# The s470 command-line tool (tools/s470): its commands, this platform's layer (the *_posix.cpp or
# *_win32.cpp files), CLI11 and nlohmann-json (header-only Debian packages). fwscramble is the same
# program under its old name, which offers only scramble and unscramble.
file(GLOB S470_TOOL_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/s470/*.cpp)
if(WIN32)
  list(FILTER S470_TOOL_SOURCES EXCLUDE REGEX "_posix\\.cpp$")
else()
  list(FILTER S470_TOOL_SOURCES EXCLUDE REGEX "_win32\\.cpp$")
endif()
set(S470_TOOL_MAIN ${CMAKE_SOURCE_DIR}/tools/s470/s470_main.cpp)
list(REMOVE_ITEM S470_TOOL_SOURCES ${S470_TOOL_MAIN})
# The commands as a library, which the native unit tests run in-process.
add_library(s470_cli STATIC ${S470_TOOL_SOURCES})
target_include_directories(s470_cli PUBLIC ${CMAKE_SOURCE_DIR}/tools/s470)
target_link_libraries(s470_cli PUBLIC s470)
add_executable(s470_tool ${S470_TOOL_MAIN})
set_target_properties(s470_tool PROPERTIES OUTPUT_NAME s470)
target_link_libraries(s470_tool PRIVATE s470_cli)
if(WIN32)
  # The cross compilers look in their own root only: the two libraries' headers are linked into a
  # folder of the build.
  set(S470_TOOL_HEADERS ${CMAKE_BINARY_DIR}/tool-headers)
  file(MAKE_DIRECTORY ${S470_TOOL_HEADERS})
  foreach(dir CLI nlohmann)
    if(NOT EXISTS /usr/include/${dir})
      message(FATAL_ERROR "/usr/include/${dir} is missing: install libcli11-dev and nlohmann-json3-dev")
    endif()
    file(CREATE_LINK /usr/include/${dir} ${S470_TOOL_HEADERS}/${dir} SYMBOLIC)
  endforeach()
  target_include_directories(s470_cli SYSTEM PRIVATE ${S470_TOOL_HEADERS})
  target_link_libraries(s470_cli PUBLIC shell32)
else()
  find_package(CLI11 REQUIRED)
  find_package(nlohmann_json REQUIRED)
  target_link_libraries(s470_cli PRIVATE CLI11::CLI11 nlohmann_json::nlohmann_json)
endif()
add_custom_command(TARGET s470_tool POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:s470_tool>
          $<TARGET_FILE_DIR:s470_tool>/fwscramble${CMAKE_EXECUTABLE_SUFFIX})
add_custom_target(fwscramble)
add_dependencies(fwscramble s470_tool)
