// TRegistry::ReadString over a value whose type and bytes are the input.
//
// Input: [type] [flags] [name length, name bytes when flag 2] [data...]
//   flags bit 0: the value exists but cannot be read
//   flags bit 1: the value's name comes from the input, not "DisplayName"
//   flags bit 2: the name is asked for in upper case (the registry ignores case)
#include "FuzzCheck.h"

#include "platform/Registry.h"
#include "platform/SysUtils.h"
#include "platform/sim/SimWindows.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

namespace {

const char* const KeyPath = "SOFTWARE\\Fuzz";

struct Input {
    std::uint32_t type = REG_SZ;
    bool unreadable = false;
    bool upperCaseLookup = false;
    std::string name = "DisplayName";
    std::vector<unsigned char> data;
};

Input Parse(const std::uint8_t* bytes, std::size_t size) {
    Input in;
    std::size_t at = 0;
    if (at < size) in.type = bytes[at++];
    const std::uint8_t flags = at < size ? bytes[at++] : 0;
    in.unreadable = (flags & 1) != 0;
    in.upperCaseLookup = (flags & 4) != 0;
    if ((flags & 2) != 0 && at < size) {
        const std::size_t wanted = bytes[at++] % 32;
        const std::size_t length = std::min(wanted, size - at);
        // The name travels as a C string: a zero in it would name another value.
        in.name.clear();
        for (std::size_t i = 0; i < length; ++i) in.name.push_back(bytes[at + i] ? static_cast<char>(bytes[at + i]) : 'x');
        at += length;
    }
    in.data.assign(bytes + at, bytes + size);
    return in;
}

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

void ExpectRaised(const Input& in, const std::string& message) {
    TRegistry registry;
    registry.RootKey = HKEY_LOCAL_MACHINE;
    fuzz::Require(registry.OpenKey(KeyPath, false), "the fuzzed key opens");
    try {
        const std::string text = registry.ReadString(in.upperCaseLookup ? Upper(in.name) : in.name);
        fuzz::Fail("ReadString returned instead of raising", "\"" + fuzz::Escaped(text) + "\", expected " + message);
    } catch (const ERegistryException& e) {
        fuzz::Require(e.Message == message, "exact error message",
                      "got \"" + fuzz::Escaped(e.Message) + "\", expected \"" + fuzz::Escaped(message) + "\"");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const Input in = Parse(bytes, size);
    sim::Reset();
    sim::M().SetValue(KeyPath, in.name, sim::Value{in.type, in.data, in.unreadable});
    // The message quotes the name as the caller spelled it.
    const std::string askedName = in.upperCaseLookup ? Upper(in.name) : in.name;
    const bool isText = in.type == REG_SZ || in.type == REG_EXPAND_SZ;

    if (in.unreadable) {
        ExpectRaised(in, "Failed to get data for '" + askedName + "'");
    } else if (!in.data.empty() && !isText) {
        ExpectRaised(in, "Invalid data type for '" + askedName + "'");
    } else {
        TRegistry registry;
        registry.RootKey = HKEY_LOCAL_MACHINE;
        fuzz::Require(registry.OpenKey(KeyPath, false), "the fuzzed key opens");
        std::string text;
        try {
            text = registry.ReadString(askedName);
        } catch (const Exception& e) {
            fuzz::Fail("ReadString raised for readable text", fuzz::Escaped(e.Message));
        }
        fuzz::Require(text.find('\0') == std::string::npos, "no zero inside the text");
        fuzz::Require(text.size() <= in.data.size(), "text no longer than the data");
        // Stored text ends at its first zero, or at the end of the data when
        // it has none.
        const auto zero = std::find(in.data.begin(), in.data.end(), 0);
        const std::string expected(in.data.begin(), zero);
        fuzz::Require(text == expected, "text up to the first zero",
                      "got \"" + fuzz::Escaped(text) + "\", expected \"" + fuzz::Escaped(expected) + "\"");
    }

    fuzz::Require(sim::M().openKeys == 0, "every key closed with its registry object");
    fuzz::Require(sim::M().failedCloses == 0, "no key closed twice");
    fuzz::Require(TRegistry::LiveObjects() == 0, "no registry object left alive");
    return 0;
}
