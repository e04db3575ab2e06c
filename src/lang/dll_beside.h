// Outside DLLs the system needs beside it (the Language DLL, the Device-setup DLL) are loaded by
// their full path: from the folder that holds s470_pc.dll, failing that from the host program's
// folder. Never by bare name, which would search the current folder and the PATH, where a planted
// DLL would run inside the host.
#pragma once

namespace s470 {

// The loaded module (an HMODULE), or null when it is in neither folder or cannot be loaded.
void* LoadDllBeside(const char* name);

}  // namespace s470
