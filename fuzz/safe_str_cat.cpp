// SafeStrCat over fuzzed buffer contents, capacities and sources.
//
// Input: [capacity low] [capacity high] [flags] [n] [n bytes of dest] [src...]
//   capacity: 0..599; the rest of dest after its n given bytes is zeros, or
//   'Z' (no terminator) when flags bit 1 is set; flags bit 0: dest is null.
//   src ends at its first zero or at the end of the input.
#include "FuzzCheck.h"

#include "Util/GLOBUTIL.h"
#include "platform/sim/SimWindows.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

bool LocationIsWellFormed(const std::string& location) {
    // "Line <n>\n Programming Source code File <file>\n<version>"
    const std::string head = "Line ";
    if (location.compare(0, head.size(), head) != 0) return false;
    std::size_t at = head.size();
    const std::size_t digits = at;
    while (at < location.size() && std::isdigit(static_cast<unsigned char>(location[at]))) ++at;
    if (at == digits) return false;
    const std::string middle = "\n Programming Source code File ";
    if (location.compare(at, middle.size(), middle) != 0) return false;
    const std::string tail = std::string("\n") + VersionText;
    return location.size() > at + middle.size() + tail.size() &&
           location.compare(location.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    if (size < 4) return 0;
    const std::size_t capacity = (bytes[0] | (static_cast<std::size_t>(bytes[1]) << 8)) % 600;
    const bool nullDest = (bytes[2] & 1) != 0;
    const char fill = (bytes[2] & 2) != 0 ? 'Z' : '\0';
    const std::size_t given = std::min<std::size_t>({bytes[3], capacity, size - 4});
    const std::uint8_t* srcBytes = bytes + 4 + given;
    const std::size_t srcLength = std::find(srcBytes, bytes + size, 0) - srcBytes;

    fuzz::GuardedBuffer dest(capacity);
    std::memset(dest.data(), fill, capacity);
    std::memcpy(dest.data(), bytes + 4, given);
    fuzz::GuardedBuffer src(srcLength + 1);
    std::memcpy(src.data(), srcBytes, srcLength);
    src.data()[srcLength] = '\0';

    const std::string before = dest.contents();
    const std::size_t destLength = std::find(before.begin(), before.end(), '\0') - before.begin();
    const bool fits = !nullDest && destLength < capacity && srcLength < capacity - destLength;

    sim::Reset();
    try {
        const int result = SafeStrCat(nullDest ? nullptr : dest.data(), capacity, src.data());
        fuzz::Require(fits, "appended although the result does not fit",
                      "capacity " + std::to_string(capacity) + ", dest length " + std::to_string(destLength) +
                          ", src length " + std::to_string(srcLength));
        fuzz::Require(result == 0, "returns 0 on success");
        const std::string after = dest.contents();
        const std::string expected = before.substr(0, destLength) + std::string(src.data(), srcLength) + '\0';
        fuzz::Require(after.compare(0, expected.size(), expected) == 0, "dest holds dest + src, terminated",
                      "got \"" + fuzz::Escaped(after.substr(0, expected.size())) + "\", expected \"" +
                          fuzz::Escaped(expected) + "\"");
        fuzz::Require(sim::M().captureReleases == 0, "no error path taken on success");
    } catch (const EErrort& e) {
        fuzz::Require(!fits, "raised although the result fits",
                      "capacity " + std::to_string(capacity) + ", dest length " + std::to_string(destLength) +
                          ", src length " + std::to_string(srcLength));
        fuzz::Require(e.ErrorText == "String buffer overflow", "error text", fuzz::Escaped(e.ErrorText));
        fuzz::Require(LocationIsWellFormed(e.Location), "error location", fuzz::Escaped(e.Location));
        fuzz::Require(e.Message == e.ErrorText + "\n " + e.Location, "message is text and location");
        fuzz::Require(sim::M().captureReleases == 1, "mouse capture released once before raising");
        fuzz::Require(dest.contents() == before, "dest unchanged after an overflow");
    } catch (...) {
        fuzz::Fail("raised something other than EErrort");
    }
    fuzz::Require(dest.Intact(), "nothing written past dest's capacity");
    fuzz::Require(src.Intact(), "nothing written past src");
    return 0;
}
