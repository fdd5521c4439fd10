// The maker's support library (unit Globutil2): located errors, bounded
// appends into fixed buffers, a registry key probe and an owning holder.
#pragma once

#include "platform/SysUtils.h"
#include "platform/WinApi.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

// An error that knows where it was found. Message is
// ErrorText + "\n " + Location.
class EErrort : public Exception {
public:
    EErrort(const std::string& location, const std::string& errorText);

    std::string ErrorText;
    std::string Location;
};

// Appended to every location: the version of the program that raised it.
extern const char* const VersionText;

// Releases the mouse capture, whichever window holds it, and raises an
// EErrort whose location reads "Line <line>\n Programming Source code File
// <file>\n<VersionText>". file and line are the raising statement's own, as
// the build records them (__FILE__, __LINE__).
[[noreturn]] void ThrowLocatedError(const char* file, int line, const std::string& message);

// Appends zero-terminated src to the zero-terminated text in dest, a buffer
// of capacity bytes, and returns 0. When the result and its terminating zero
// would not fit, or dest holds no terminating zero within capacity, raises
// the located error "String buffer overflow" and leaves dest unchanged.
int SafeStrCat(char* dest, std::size_t capacity, const char* src);

// True when path below root exists and may be opened with the rights asked
// for; the key is closed again at once. Never raises, never creates a key.
bool RegKeyExists(HKEY root, const std::string& path, std::uint32_t access);

// An owning holder that keeps an ownership flag beside the pointer: the flag
// is set when it takes an object, and on destruction (every way out of the
// holder's scope) the object is destroyed if the flag is set; then pointer
// and flag are cleared.
template <class T>
class my_auto_ptr {
public:
    explicit my_auto_ptr(T* object = nullptr) noexcept : object_(object), owns_(object != nullptr) {}
    ~my_auto_ptr() { reset(); }
    my_auto_ptr(const my_auto_ptr&) = delete;
    my_auto_ptr& operator=(const my_auto_ptr&) = delete;

    T* get() const noexcept { return object_; }
    T* operator->() const noexcept { return object_; }
    T& operator*() const noexcept { return *object_; }
    bool owns() const noexcept { return owns_; }

    // Gives the object up without destroying it.
    T* release() noexcept {
        owns_ = false;
        return std::exchange(object_, nullptr);
    }

    void reset(T* object = nullptr) noexcept {
        if (owns_) delete object_;
        object_ = object;
        owns_ = object != nullptr;
    }

private:
    T* object_;
    bool owns_;
};
