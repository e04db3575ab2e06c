# Windows builds (MinGW-w64): the DLL, the stand-in outside DLLs, the host, PE unit tests.
enable_language(RC)
# libgcc, libstdc++ and winpthread linked in: the PE files import system DLLs only.
add_link_options(-static -static-libgcc -static-libstdc++)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
target_link_libraries(s470 PUBLIC user32 gdi32 advapi32 kernel32)

# Stdcall names are decorated (@N) only on i686; the export list names them that way there.
file(READ ${CMAKE_SOURCE_DIR}/src/api/s470_pc.def S470_DEF)
if(NOT CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  string(REGEX REPLACE "@[0-9]+" "" S470_DEF "${S470_DEF}")
endif()
file(WRITE ${CMAKE_BINARY_DIR}/s470_pc.def "${S470_DEF}")

file(GLOB S470_API_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/api/*_win32.cpp)
add_library(s470_pc SHARED ${S470_API_SOURCES} ${CMAKE_BINARY_DIR}/s470_pc.def
            ${CMAKE_SOURCE_DIR}/src/api/s470_pc.rc)
target_include_directories(s470_pc PRIVATE ${CMAKE_SOURCE_DIR}/include)
set_target_properties(s470_pc PROPERTIES PREFIX "" OUTPUT_NAME s470_pc)
target_link_libraries(s470_pc PRIVATE s470)
target_link_options(s470_pc PRIVATE -Wl,--kill-at)

# Import libraries made from the export list, for hosts that link the DLL: MinGW's and Visual C++'s.
set(S470_LLVM_MACHINE i386)
if(NOT CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  set(S470_LLVM_MACHINE i386:x86-64)
endif()
set(S470_IMPORT_LIBS ${CMAKE_BINARY_DIR}/lib/libs470_pc.dll.a ${CMAKE_BINARY_DIR}/lib/s470_pc.lib)
add_custom_command(OUTPUT ${S470_IMPORT_LIBS}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/lib
  COMMAND ${S470_DLLTOOL} -d ${CMAKE_BINARY_DIR}/s470_pc.def -D s470_pc.dll -k
          -l ${CMAKE_BINARY_DIR}/lib/libs470_pc.dll.a
  COMMAND llvm-dlltool-14 -m ${S470_LLVM_MACHINE} -d ${CMAKE_BINARY_DIR}/s470_pc.def -D s470_pc.dll
          -k -l ${CMAKE_BINARY_DIR}/lib/s470_pc.lib
  DEPENDS ${CMAKE_SOURCE_DIR}/src/api/s470_pc.def)
add_custom_target(s470_pc_import_libs ALL DEPENDS ${S470_IMPORT_LIBS})
add_library(s470_pc_import INTERFACE)
target_include_directories(s470_pc_import INTERFACE ${CMAKE_SOURCE_DIR}/include)
target_link_libraries(s470_pc_import INTERFACE ${CMAKE_BINARY_DIR}/lib/libs470_pc.dll.a)
add_dependencies(s470_pc_import s470_pc_import_libs)

# Stand-in Language DLL, under both of its names.
file(GLOB S470_LANG_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/standins/lang/*.cpp
     ${CMAKE_SOURCE_DIR}/standins/lang/*.rc)
file(READ ${CMAKE_SOURCE_DIR}/standins/lang/lang.def S470_LANG_DEF)
if(NOT CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  string(REGEX REPLACE "@[0-9]+" "" S470_LANG_DEF "${S470_LANG_DEF}")
endif()
file(WRITE ${CMAKE_BINARY_DIR}/lang.def "${S470_LANG_DEF}")
foreach(name ORV_LangWinNT ORV_LangWin95)
  add_library(${name} SHARED ${S470_LANG_SOURCES} ${CMAKE_BINARY_DIR}/lang.def)
  set_target_properties(${name} PROPERTIES PREFIX "" OUTPUT_NAME ${name} SUFFIX ".DLL")
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/standins/lang)
  target_link_libraries(${name} PRIVATE user32 gdi32 advapi32)
  target_link_options(${name} PRIVATE -Wl,--kill-at)
endforeach()

# Stand-in Device-setup DLL, when it exists.
file(GLOB S470_DDK_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/standins/ddk/*.cpp
     ${CMAKE_SOURCE_DIR}/standins/ddk/*.rc)
if(S470_DDK_SOURCES)
  add_library(ORV_DDK SHARED ${S470_DDK_SOURCES})
  set_target_properties(ORV_DDK PROPERTIES PREFIX "" OUTPUT_NAME ORV_DDK SUFFIX ".DLL")
  target_include_directories(ORV_DDK PRIVATE ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(ORV_DDK PRIVATE user32 gdi32)
  target_link_options(ORV_DDK PRIVATE -Wl,--kill-at)
endif()

# The host program and the notepad recorder.
add_executable(host ${CMAKE_SOURCE_DIR}/host/host.cpp)
target_link_libraries(host PRIVATE s470_pc_import user32 gdi32)
add_dependencies(host s470_pc)
target_link_options(host PRIVATE -municode)
add_executable(notepad ${CMAKE_SOURCE_DIR}/host/notepad_recorder.cpp)

# Command-line tools.
file(GLOB S470_TOOLS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/*.cpp)
foreach(tool ${S470_TOOLS})
  get_filename_component(name ${tool} NAME_WE)
  add_executable(${name} ${tool})
  target_link_libraries(${name} PRIVATE s470)
endforeach()
include(${CMAKE_SOURCE_DIR}/cmake/s470_tool.cmake)

# The export table, imports and version resource of the DLL.
add_test(NAME dll_exports COMMAND ${CMAKE_SOURCE_DIR}/tests/check_dll.sh ${S470_OBJDUMP}
         $<TARGET_FILE:s470_pc> ${CMAKE_SYSTEM_PROCESSOR})

# The release package (scripts/package.sh): contents, import libraries, a C host built from it.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  add_test(NAME package COMMAND ${CMAKE_SOURCE_DIR}/tests/check_package.sh ${CMAKE_SOURCE_DIR}
           ${CMAKE_BINARY_DIR})
  set_tests_properties(package PROPERTIES RUN_SERIAL TRUE)
endif()

# PE unit tests of the Win32 layer, run under Wine (the i686 ones under 32-bit Wine). A PE that
# Wine cannot run exits 0 silently, so a test passes only on GoogleTest's own closing line.
file(GLOB S470_WIN_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win/*.cpp)
if(S470_WIN_TESTS)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    # The win32 thread model of the product's compiler has no std::mutex, which only GoogleTest's
    # Notification needs: one on Win32 events takes its place.
    add_compile_definitions(GTEST_HAS_NOTIFICATION_=1)
    add_compile_options(-include ${CMAKE_SOURCE_DIR}/tests/win/gtest_notification_win32.h)
  endif()
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  add_executable(win_tests ${S470_WIN_TESTS})
  target_link_libraries(win_tests PRIVATE s470 gtest_main gmock)
  add_test(NAME win_tests COMMAND ${CMAKE_SOURCE_DIR}/cmake/wine-run.sh ${CMAKE_BINARY_DIR}/wineprefix
           $<TARGET_FILE:win_tests>)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    include(${CMAKE_SOURCE_DIR}/cmake/wine32.cmake)
    set_tests_properties(win_tests PROPERTIES DISABLED ${S470_WINE32_DISABLED})
  endif()
  set_tests_properties(win_tests PROPERTIES PASS_REGULAR_EXPRESSION "\\[  PASSED  \\]"
                       FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]" TIMEOUT 300)
endif()
