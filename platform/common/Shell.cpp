#include "platform/Shell.h"

#include "platform/WinApi.h"

namespace {

bool HasFolder(const std::string& path) { return path.find_first_of("\\/:") != std::string::npos; }

std::string SearchAlongPath(const std::string& fileName) {
    const std::optional<std::string> path = win::GetEnvironmentVariableA("PATH");
    if (!path || path->empty()) return {};
    return win::SearchPathA(path->c_str(), fileName.c_str()).value_or(std::string());
}

}  // namespace

std::string FindInterpreter() {
    const std::optional<std::string> comspec = win::GetEnvironmentVariableA("COMSPEC");
    if (comspec && !comspec->empty()) return HasFolder(*comspec) ? *comspec : SearchAlongPath(*comspec);
    return SearchAlongPath("CMD.EXE");
}

TCommandOutcome RunThroughInterpreter(const std::string& commandLine) {
    const std::string interpreter = FindInterpreter();
    if (interpreter.empty()) return {};
    // The interpreter is named twice: as the file to start, so that Windows
    // does no search of its own, and, quoted, as the command line's first
    // word, which is how a program finds its own name even when it holds
    // spaces.
    const std::string line = "\"" + interpreter + "\" /c " + commandLine;
    const std::optional<std::uint32_t> status = win::RunProcessAndWait(interpreter, line);
    if (!status) return {};
    return {true, *status};
}
