// STAND-IN for Microsoft's msizap.exe, for the end-to-end tests only: Wine
// ships no msizap, and the real tool may not be redistributed. It is built as
// msizap.exe so that "cmd /c msizap TW {CODE}" finds it on the PATH.
//
// It writes its arguments as one line to a log (path in QM_STANDIN_LOG,
// default C:\msizap-standin.log) so a test can see which commands ran and in
// which order, and for "TW {CODE}" removes that product's uninstall key from
// the 32-bit registry view, as far as the program under test can tell the
// same as the real tool's clean-up. It always exits 0.
#define _WIN32_WINNT 0x0600
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string Utf8(const std::wstring& w) {
    if (w.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
    return s;
}

std::wstring LogPath() {
    wchar_t buf[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(L"QM_STANDIN_LOG", buf, MAX_PATH);
    return n > 0 && n < MAX_PATH ? buf : L"C:\\msizap-standin.log";
}

long EnvNumber(const wchar_t* name) {
    wchar_t buf[32];
    const DWORD n = GetEnvironmentVariableW(name, buf, 32);
    return n > 0 && n < 32 ? wcstol(buf, nullptr, 0) : 0;
}

void Flood(long bytes) {
    static char chunk[4096];
    memset(chunk, 'z', sizeof chunk);
    for (size_t i = 63; i < sizeof chunk; i += 64) chunk[i] = '\n';
    while (bytes > 0) {
        const size_t n = bytes < static_cast<long>(sizeof chunk) ? static_cast<size_t>(bytes) : sizeof chunk;
        fwrite(chunk, 1, n, stdout);
        bytes -= static_cast<long>(n);
    }
    fflush(stdout);
}

bool IsBracedGuid(const std::wstring& s) {
    if (s.size() != 38 || s.front() != L'{' || s.back() != L'}') return false;
    for (size_t i = 1; i < 37; ++i) {
        const wchar_t c = s[i];
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        if (dash ? c != L'-' : !iswxdigit(c)) return false;
    }
    return true;
}

// The 32-bit view is named explicitly so the stand-in acts on what a 32-bit
// program sees even if it is ever built for 64 bits.
bool RemoveUninstallKey(const std::wstring& code) {
    const std::wstring path = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + code;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS)
        return false;
    RegDeleteTreeW(key, nullptr);
    RegCloseKey(key);
    return RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), KEY_WOW64_32KEY, 0) == ERROR_SUCCESS;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::wstring line;
    for (int i = 1; i < argc; ++i) line += (i > 1 ? L" " : L"") + std::wstring(argv[i]);

    printf("msizap stand-in for tests (not Microsoft's msizap): %s\n", Utf8(line).c_str());
    if (FILE* log = _wfopen(LogPath().c_str(), L"ab")) {
        fprintf(log, "%s\n", Utf8(line).c_str());
        fclose(log);
    } else {
        printf("msizap stand-in: cannot write %s\n", Utf8(LogPath()).c_str());
    }

    Flood(EnvNumber(L"QM_STANDIN_FLOOD"));
    if (EnvNumber(L"QM_STANDIN_CRASH") != 0) {
        // Through a volatile pointer so the compiler keeps the fault.
        int* volatile nowhere = nullptr;
        *nowhere = 1;
    }

    if (argc == 3 && std::wstring(argv[1]) == L"TW" && IsBracedGuid(argv[2])) {
        const bool removed = RemoveUninstallKey(argv[2]);
        printf("msizap stand-in: uninstall key %s\n", removed ? "removed" : "not found");
    }
    return static_cast<int>(EnvNumber(L"QM_STANDIN_EXIT"));
}
