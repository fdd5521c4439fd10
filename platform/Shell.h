// Running a command line through the command interpreter, as the C runtime's
// system() does, but without its search of the current folder.
#pragma once

#include <cstdint>
#include <string>

struct TCommandOutcome {
    bool Started = false;       // false: no interpreter could be started
    std::uint32_t ExitCode = 0;  // the interpreter's exit status when Started
};

// The exit status with which the interpreter reports that it found no such
// command (Windows' cmd.exe and Wine's alike).
inline constexpr std::uint32_t CommandNotFoundStatus = 9009;

// The interpreter is the one named by COMSPEC, else "CMD.EXE" found in the
// folders that PATH lists; a COMSPEC without a folder is looked up there too.
// It is never looked for in the current folder: the program runs elevated,
// and a planted file there must not run. It is started with "/c " and the
// command line, and waited for until it ends.
TCommandOutcome RunThroughInterpreter(const std::string& commandLine);

// The interpreter chosen as above, or "" when there is none.
std::string FindInterpreter();
