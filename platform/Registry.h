// Registry object in the manner of the class library's TRegistry, reduced to
// what the program reads. It is written once over the win:: registry calls,
// so the product and the simulated machine share every path and type rule.
//
// Ownership: the object owns at most one open key and closes it when another
// open succeeds, on CloseKey and on destruction. It never writes or creates.
#pragma once

#include "platform/SysUtils.h"
#include "platform/WinApi.h"

#include <cstdint>
#include <string>

class TRegistry {
public:
    // RootKey starts as HKEY_CURRENT_USER and every open asks for
    // KEY_ALL_ACCESS; no key is open.
    TRegistry();
    ~TRegistry();
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    HKEY RootKey;
    std::uint32_t Access;

    // A path beginning with "\" is opened from RootKey (without that
    // backslash), any other from the open key, or from RootKey when none is
    // open. On success the old key is closed and the new one is current; on
    // failure the result is false and the open key is kept. canCreate must be
    // false: this registry object never creates keys.
    bool OpenKey(const std::string& path, bool canCreate);
    void CloseKey();
    HKEY CurrentKey() const { return current_; }

    // Value of the open key as text. A missing value, or one with no data,
    // yields "". REG_SZ and REG_EXPAND_SZ (not expanded) yield the text up to
    // the first zero. Raises ERegistryException "Invalid data type for '%s'"
    // for any other type and "Failed to get data for '%s'" when the value
    // exists but cannot be read.
    std::string ReadString(const std::string& name);

    // Registry objects alive in this process; lets tests prove that none
    // outlives the operation that made it.
    static int LiveObjects();

private:
    HKEY current_ = nullptr;
};
