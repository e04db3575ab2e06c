// The dialog colours in the registry, through the real DLL and the stand-in Language DLL (which
// passes the registry calls on to the Win32 registry) under wine64. Wine reports Windows NT, so
// the colours are written as UTF-16LE text; `reg query` reads them back. How each value is
// parsed, which names count and what a missing key gives is proven natively; here the real
// registry's data.
#include <gtest/gtest.h>

#include "wine_harness.h"

namespace s470::wine {
namespace {

// Stored colours are used and written back, the other roles get their defaults, and roles this
// system does not use are kept as they are. One window export does it, inside the call frame;
// what the work itself does (messages about a port nobody links) does not matter here.
TEST(ColoursWine, StoredValuesAreWrittenBackAndTheOtherRolesGetTheirDefaults) {
  const std::string dir = FreshDir("colours");
  const std::string values =
      "REGEDIT4\r\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\ORV\\MERIDEX]\r\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ORV\\MERIDEX]\r\n"
      "\"COLOR 04\"=\"256 00 0255 \"\r\n"  // read as 0, 0, 255 and written back in the short form
      "\"COLOR 12\"=\"1 2 3 \"\r\n"
      "\"COLOR 03\"=\"1234567890123456789012345678901234567890\"\r\n";  // no blanks at all
  WriteFileBytes(dir + "/colours.reg", std::vector<uint8_t>(values.begin(), values.end()));
  WineReg({"import", dir + "/colours.reg"});
  const HostRun run = RunHost(dir, "open c.s47 read 30 0x0001 close");
  // COLOR 03 is one endless red field, which runs into the wide NUL: its second zero byte counts
  // as a digit too. 1234...890 is 210 modulo 256; 210 * 10 + 0 - '0' = 2052 is 4.
  EXPECT_EQ(
      WineReg({"query", "HKLM\\SOFTWARE\\ORV\\MERIDEX"}),
      (Lines{"", "HKEY_LOCAL_MACHINE\\SOFTWARE\\ORV\\MERIDEX",
             "    COLOR 00    REG_SZ    255 255 242 ", "    COLOR 01    REG_SZ    240 233 208 ",
             "    COLOR 02    REG_SZ    240 233 208 ", "    COLOR 03    REG_SZ    4 0 0 ",
             "    COLOR 04    REG_SZ    0 0 255 ", "    COLOR 05    REG_SZ    255 255 242 ",
             "    COLOR 06    REG_SZ    212 208 200 ", "    COLOR 07    REG_SZ    212 208 200 ",
             "    COLOR 12    REG_SZ    1 2 3 ", ""}));
}

}  // namespace
}  // namespace s470::wine
