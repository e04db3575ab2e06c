# Whether 32-bit Wine can run the i686 product here: wine32:i386 installed and a machine that
# executes 32-bit programs. S470_WINE32_RUNS is set for the callers; the i686 Wine tests are
# registered but disabled without it (scripts/test.sh says so in one line).
execute_process(COMMAND /usr/lib/wine/wine --version RESULT_VARIABLE S470_WINE32_STATUS
                OUTPUT_QUIET ERROR_QUIET)
if(S470_WINE32_STATUS EQUAL 0)
  set(S470_WINE32_RUNS TRUE)
  set(S470_WINE32_DISABLED FALSE)
else()
  set(S470_WINE32_RUNS FALSE)
  set(S470_WINE32_DISABLED TRUE)
  message(STATUS "32-bit Wine does not run here: the i686 Wine tests are disabled")
endif()
