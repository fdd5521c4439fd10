#include "platform/Registry.h"

#include "platform/SysUtils.h"

#include <atomic>
#include <vector>

namespace {
std::atomic<int> liveObjects{0};

[[noreturn]] void RaiseForValue(const char* format, const std::string& name) {
    std::string message(format);
    message.replace(message.find("%s"), 2, name);
    throw ERegistryException(message);
}
}  // namespace

TRegistry::TRegistry() : RootKey(HKEY_CURRENT_USER), Access(KEY_ALL_ACCESS) { ++liveObjects; }

TRegistry::~TRegistry() {
    CloseKey();
    --liveObjects;
}

int TRegistry::LiveObjects() { return liveObjects; }

bool TRegistry::OpenKey(const std::string& path, bool canCreate) {
    if (canCreate) throw ERegistryException("Creating registry keys is not supported");
    const bool absolute = !path.empty() && path.front() == '\\';
    const std::string subKey = absolute ? path.substr(1) : path;
    HKEY base = (absolute || current_ == nullptr) ? RootKey : current_;
    HKEY opened = nullptr;
    if (win::RegOpenKeyExA(base, subKey.c_str(), 0, Access, &opened) != ERROR_SUCCESS) return false;
    CloseKey();
    current_ = opened;
    return true;
}

void TRegistry::CloseKey() {
    if (current_ == nullptr) return;
    win::RegCloseKey(current_);
    current_ = nullptr;
}

std::string TRegistry::ReadString(const std::string& name) {
    constexpr const char* failed = "Failed to get data for '%s'";
    std::uint32_t type = REG_NONE;
    std::uint32_t size = 0;
    long result = win::RegQueryValueExA(current_, name.c_str(), &type, nullptr, &size);
    if (result == ERROR_FILE_NOT_FOUND) return {};
    if (result != ERROR_SUCCESS) RaiseForValue(failed, name);

    // The value may change between the size query and the read; a few
    // rounds settle it, and a value that keeps growing counts as unreadable.
    std::vector<unsigned char> data;
    for (int attempt = 0;; ++attempt) {
        if (size == 0) return {};
        if (type != REG_SZ && type != REG_EXPAND_SZ) RaiseForValue("Invalid data type for '%s'", name);
        data.assign(size, 0);
        result = win::RegQueryValueExA(current_, name.c_str(), &type, data.data(), &size);
        if (result == ERROR_SUCCESS) break;
        if (result == ERROR_FILE_NOT_FOUND) return {};
        if (result != ERROR_MORE_DATA || attempt == 3) RaiseForValue(failed, name);
    }
    if (size == 0) return {};
    if (type != REG_SZ && type != REG_EXPAND_SZ) RaiseForValue("Invalid data type for '%s'", name);

    // Stored text need not end with a zero, and may hold one early: the
    // text ends at the first zero or at the end of the data.
    const std::size_t available = std::min<std::size_t>(size, data.size());
    std::size_t length = 0;
    while (length < available && data[length] != 0) ++length;
    return std::string(reinterpret_cast<const char*>(data.data()), length);
}
