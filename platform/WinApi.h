// The small subset of the Windows API that the program and its class
// library stand-in use, in namespace win so that it never collides with
// <windows.h>. Each function behaves as its Win32 namesake does: the product
// forwards straight to the system (win32/WinApi_win32.cpp), the native test
// build answers from the simulated machine (sim/SimWindows.cpp).
//
// Translation units that also include <windows.h> must include it first
// (see win32/WinInclude.h): the guarded constants below then keep the
// system's definitions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Opaque handle types, spelled as <windows.h> spells them so that both can
// meet in one translation unit.
typedef struct HKEY__* HKEY;  // NOLINT(bugprone-reserved-identifier): as <windows.h> spells it
typedef struct HWND__* HWND;  // NOLINT(bugprone-reserved-identifier): as <windows.h> spells it

#ifndef HKEY_CLASSES_ROOT
#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<std::intptr_t>(static_cast<std::int32_t>(0x80000000u))))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<std::intptr_t>(static_cast<std::int32_t>(0x80000001u))))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<std::intptr_t>(static_cast<std::int32_t>(0x80000002u))))
#define HKEY_USERS (reinterpret_cast<HKEY>(static_cast<std::intptr_t>(static_cast<std::int32_t>(0x80000003u))))
#endif

#ifndef ERROR_SUCCESS
#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_MORE_DATA 234L
#endif

#ifndef KEY_READ
#define KEY_QUERY_VALUE 0x0001u
#define KEY_READ 0x20019u
#define KEY_ALL_ACCESS 0xF003Fu
#endif

#ifndef REG_NONE
#define REG_NONE 0u
#define REG_SZ 1u
#define REG_EXPAND_SZ 2u
#define REG_BINARY 3u
#define REG_DWORD 4u
#define REG_MULTI_SZ 7u
#define REG_QWORD 11u
#endif

#ifndef MB_OK
#define MB_OK 0x00000000u
#define MB_YESNO 0x00000004u
#define MB_ICONERROR 0x00000010u
#endif

#ifndef IDOK
#define IDOK 1
#define IDCANCEL 2
#define IDYES 6
#define IDNO 7
#endif

#ifndef MAX_PATH
#define MAX_PATH 260
#endif

namespace win {

// Registry. Results are Win32 error codes (ERROR_SUCCESS on success).
long RegOpenKeyExA(HKEY root, const char* subKey, std::uint32_t options, std::uint32_t access, HKEY* result);
long RegCloseKey(HKEY key);
// With data == nullptr only the type and the size are reported. A size too
// small for the data gives ERROR_MORE_DATA and the size needed.
long RegQueryValueExA(HKEY key, const char* name, std::uint32_t* type, unsigned char* data, std::uint32_t* size);

// Length copied, without the terminating zero; when the buffer is too small,
// the size needed including it; 0 on failure.
unsigned GetWindowsDirectoryA(char* buffer, unsigned size);
// Number of characters copied, without the terminating zero; a missing file,
// section or key yields the default.
unsigned GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                  char* buffer, unsigned size, const char* fileName);
// Returns the variable's value, or nothing when it is not set.
std::optional<std::string> GetEnvironmentVariableA(const char* name);
// Searches only the folders listed in path (';'-separated); returns the full
// name of the first match, or nothing.
std::optional<std::string> SearchPathA(const char* path, const char* fileName);
// Starts applicationName with commandLine, waits until it ends and returns its
// exit status; nothing when it could not be started. The child gets a console
// of its own and inherits no handles.
std::optional<std::uint32_t> RunProcessAndWait(const std::string& applicationName, const std::string& commandLine);
unsigned GetModuleFileNameA(char* buffer, unsigned size);

bool ReleaseCapture();
int MessageBoxA(HWND owner, const char* text, const char* caption, unsigned type);

}  // namespace win

namespace win {
// Pixels per logical inch of the screen (96 at 100 %).
int GetSystemDpi();
}  // namespace win
