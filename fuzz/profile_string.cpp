// The simulated GetPrivateProfileStringA over fuzzed settings files: the
// tests trust it to read qm.ini as Windows does, so it must stay within the
// caller's buffer and terminate what it copies, whatever the file holds.
//
// Input: [buffer size] [flags] [file bytes...]
//   buffer size: 0..255, times 16 when flags bit 0 is set
//   flags bit 1: a default value is passed
#include "FuzzCheck.h"

#include "platform/WinApi.h"
#include "platform/sim/SimWindows.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace {

const char* const FileName = "C:\\WINDOWS\\qm.ini";

struct Lookup {
    unsigned returned = 0;
    std::string text;  // the buffer up to what was returned
};

Lookup Read(const char* section, const char* key, const char* defaultValue, std::size_t size) {
    fuzz::GuardedBuffer buffer(size);
    Lookup lookup;
    lookup.returned =
        win::GetPrivateProfileStringA(section, key, defaultValue, buffer.data(), static_cast<unsigned>(size), FileName);
    fuzz::Require(buffer.Intact(), "nothing written past the buffer", "size " + std::to_string(size));
    if (size == 0) {
        fuzz::Require(lookup.returned == 0, "a buffer of size 0 gets nothing");
        return lookup;
    }
    fuzz::Require(lookup.returned < size, "the count leaves room for the terminator",
                  std::to_string(lookup.returned) + " of " + std::to_string(size));
    fuzz::Require(buffer.data()[lookup.returned] == '\0', "the copy is zero-terminated");
    lookup.text.assign(buffer.data(), lookup.returned);
    return lookup;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t bufferSize = (bytes[1] & 1) != 0 ? bytes[0] * std::size_t{16} : bytes[0];
    const char* defaultValue = (bytes[1] & 2) != 0 ? "C:\\Default Folder" : "";

    sim::Reset();
    sim::M().files[FileName] = std::string(reinterpret_cast<const char*>(bytes) + 2, size - 2);

    const Lookup small = Read("Program", "Directory", defaultValue, bufferSize);
    // A buffer larger than the file cannot cut anything off.
    const Lookup whole = Read("Program", "Directory", defaultValue, size + 64);
    // Windows compares section and key names without regard to case.
    const Lookup otherCase = Read("PROGRAM", "directory", defaultValue, size + 64);

    fuzz::Require(whole.text == otherCase.text, "section and key names ignore case",
                  "\"" + fuzz::Escaped(whole.text) + "\" vs \"" + fuzz::Escaped(otherCase.text) + "\"");
    if (bufferSize > 0) {
        // A value too long for the buffer is cut to fit, never otherwise changed.
        const std::string expected = whole.text.substr(0, std::min(whole.text.size(), bufferSize - 1));
        fuzz::Require(small.text == expected, "a short buffer gets the value's beginning",
                      "got \"" + fuzz::Escaped(small.text) + "\", expected \"" + fuzz::Escaped(expected) + "\"");
    }
    return 0;
}
