// The catalogue of Quillmar releases and the forced removal of their
// Windows Installer registrations.
#pragma once

#include <string>

// Below HKEY_LOCAL_MACHINE; no leading or trailing backslash, so that used as
// it is, it resolves from the registry root.
extern const char* const UninstallKeyPath;

// One Windows Installer product code per Quillmar release, in catalogue
// order, ended by an empty entry. Walkers stop at the empty entry.
extern const char* const ProductCodes[];

// "\" + UninstallKeyPath + "\" + code: absolute, so that it resolves from the
// registry root whatever key is open.
std::string ReleaseKeyPath(const std::string& code);

enum class TRemovalOutcome {
    Completed,           // every registered release had its command run
    StoppedNoDirectory,  // the settings file names no directory: the walk
                         // stopped there and termination was requested
    ToolNotRun,          // the walk went on, but for at least one release
                         // the clean-up tool could not be run
};

// Runs "msizap TW <code>" through the command interpreter for every
// registered catalogued release, in catalogue order, each awaited before the
// next, after checking that Quillmar's settings file records its directory.
// Returns Completed at once when the uninstall key cannot be read. Raises
// "Missing uninstall key" when it is readable but not openable with full
// rights, and the located "String buffer overflow" when the settings file's
// name does not fit in 256 bytes.
TRemovalOutcome ForceUninstall();
