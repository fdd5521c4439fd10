// The product's process entry.
#include "platform/win32/WinInclude.h"

#include "platform/Forms.h"

namespace {

// The program runs elevated: DLLs are loaded from System32 only, never from
// the folder it was started from, where a planted DLL could wait.
void RestrictDllSearch() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    auto setDefault = kernel ? reinterpret_cast<SetDefaultDllDirectoriesFn>(
                                   reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDefaultDllDirectories")))
                             : nullptr;
    if (setDefault) setDefault(0x00000800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */);
    ::SetDllDirectoryA("");
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    ::HeapSetInformation(nullptr, HeapEnableTerminationOnCorruption, nullptr, 0);
    RestrictDllSearch();
    return RunProgram();
}
