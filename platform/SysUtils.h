// The class library's exception root: every failure the program reports is an
// Exception or derives from it, and its Message is what the user is shown.
#pragma once

#include <exception>
#include <string>

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : Message(std::move(message)) {}

    const char* what() const noexcept override { return Message.c_str(); }

    std::string Message;
    int HelpContext = 0;
};

// Raised by TRegistry for data it cannot turn into what was asked for.
class ERegistryException : public Exception {
public:
    using Exception::Exception;
};
