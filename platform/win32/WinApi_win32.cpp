// The win:: calls of the product: each one forwards to its Win32 namesake.
#include "platform/win32/WinInclude.h"

#include "platform/WinApi.h"

#include <vector>

namespace win {

long RegOpenKeyExA(HKEY root, const char* subKey, std::uint32_t options, std::uint32_t access, HKEY* result) {
    return ::RegOpenKeyExA(root, subKey, options, access, result);
}

long RegCloseKey(HKEY key) { return ::RegCloseKey(key); }

long RegQueryValueExA(HKEY key, const char* name, std::uint32_t* type, unsigned char* data, std::uint32_t* size) {
    DWORD valueType = 0;
    DWORD valueSize = size ? *size : 0;
    const LONG result = ::RegQueryValueExA(key, name, nullptr, &valueType, data, size ? &valueSize : nullptr);
    if (type) *type = valueType;
    if (size) *size = valueSize;
    return result;
}

unsigned GetWindowsDirectoryA(char* buffer, unsigned size) { return ::GetWindowsDirectoryA(buffer, size); }

unsigned GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue, char* buffer,
                                  unsigned size, const char* fileName) {
    return ::GetPrivateProfileStringA(section, key, defaultValue, buffer, size, fileName);
}

std::optional<std::string> GetEnvironmentVariableA(const char* name) {
    std::vector<char> buffer(256);
    for (;;) {
        ::SetLastError(ERROR_SUCCESS);
        const DWORD length = ::GetEnvironmentVariableA(name, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
            return std::string();
        }
        if (length < buffer.size()) return std::string(buffer.data(), length);
        buffer.resize(length);  // the size needed, with its terminating zero
    }
}

std::optional<std::string> SearchPathA(const char* path, const char* fileName) {
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            ::SearchPathA(path, fileName, nullptr, static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
        if (length == 0) return std::nullopt;
        if (length < buffer.size()) return std::string(buffer.data(), length);
        buffer.resize(length);
    }
}

std::optional<std::uint32_t> RunProcessAndWait(const std::string& applicationName, const std::string& commandLine) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    // CreateProcessA may write into the command line it is given.
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    // The interpreter gets a console window of its own: the clean-up tool
    // may report or ask something there, and this program shows nothing
    // while it waits.
    if (!::CreateProcessA(applicationName.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE,
                          nullptr, nullptr, &startup, &process))
        return std::nullopt;
    ::CloseHandle(process.hThread);
    DWORD status = static_cast<DWORD>(-1);
    if (::WaitForSingleObject(process.hProcess, INFINITE) != WAIT_OBJECT_0 ||
        !::GetExitCodeProcess(process.hProcess, &status))
        status = static_cast<DWORD>(-1);
    ::CloseHandle(process.hProcess);
    return status;
}

unsigned GetModuleFileNameA(char* buffer, unsigned size) { return ::GetModuleFileNameA(nullptr, buffer, size); }

bool ReleaseCapture() { return ::ReleaseCapture() != FALSE; }

int MessageBoxA(HWND owner, const char* text, const char* caption, unsigned type) {
    return ::MessageBoxA(owner, text, caption, type);
}

int GetSystemDpi() {
    HDC screen = ::GetDC(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

}  // namespace win
