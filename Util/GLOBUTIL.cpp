#include "Util/GLOBUTIL.h"

#include <cstring>

const char* const VersionText = "2.10.7";

EErrort::EErrort(const std::string& location, const std::string& errorText)
    : Exception(errorText + "\n " + location), ErrorText(errorText), Location(location) {}

void ThrowLocatedError(const char* file, int line, const std::string& message) {
    // A window that holds the mouse would keep it while the error box is up,
    // and the user could not answer the box.
    win::ReleaseCapture();
    const std::string location = "Line " + std::to_string(line) + "\n Programming Source code File " +
                                 (file ? file : "") + "\n" + VersionText;
    throw EErrort(location, message);
}

int SafeStrCat(char* dest, std::size_t capacity, const char* src) {
    const std::size_t destLength = dest ? strnlen(dest, capacity) : capacity;
    const std::size_t srcLength = std::strlen(src);
    if (destLength >= capacity || srcLength >= capacity - destLength)
        ThrowLocatedError(__FILE__, __LINE__, "String buffer overflow");
    std::memcpy(dest + destLength, src, srcLength + 1);
    return 0;
}

bool RegKeyExists(HKEY root, const std::string& path, std::uint32_t access) {
    HKEY key = nullptr;
    if (win::RegOpenKeyExA(root, path.c_str(), 0, access, &key) != ERROR_SUCCESS) return false;
    win::RegCloseKey(key);
    return true;
}
