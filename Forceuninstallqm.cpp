#include "Forceuninstallqm.h"

#include "Util/GLOBUTIL.h"
#include "platform/Forms.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/WinApi.h"

const char* const UninstallKeyPath = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

const char* const ProductCodes[] = {
    "{5A1C3E20-6B1F-4C8E-9D2A-0F1B2C3D4E01}",
    "{5A1C3E20-6B1F-4C8E-9D2A-0F1B2C3D4E02}",
    "{5A1C3E20-6B1F-4C8E-9D2A-0F1B2C3D4E03}",
    "{5A1C3E20-6B1F-4C8E-9D2A-0F1B2C3D4E04}",
    "{5A1C3E20-6B1F-4C8E-9D2A-0F1B2C3D4E05}",
    "{5A1C3E20-6B1F-4C8E-9D2A-0F1B2C3D4E06}",
    "{5A1C3E20-6B1F-4C8E-9D2A-0F1B2C3D4E07}",
    "{5A1C3E20-6B1F-4C8E-9D2A-0F1B2C3D4E08}",
    "{5A1C3E20-6B1F-4C8E-9D2A-0F1B2C3D4E09}",
    "{5A1C3E20-6B1F-4C8E-9D2A-0F1B2C3D4E0A}",
    "{5A1C3E20-6B1F-4C8E-9D2A-0F1B2C3D4E0B}",
    "{5A1C3E20-6B1F-4C8E-9D2A-0F1B2C3D4E0C}",
    "{5A1C3E20-6B1F-4C8E-9D2A-0F1B2C3D4E0D}",
    "{5A1C3E20-6B1F-4C8E-9D2A-0F1B2C3D4E0E}",
    "{5A1C3E20-6B1F-4C8E-9D2A-0F1B2C3D4E0F}",
    "{5A1C3E20-6B1F-4C8E-9D2A-0F1B2C3D4E10}",
    "{5A1C3E20-6B1F-4C8E-9D2A-0F1B2C3D4E11}",
    "{5A1C3E20-6B1F-4C8E-9D2A-0F1B2C3D4E12}",
    "{5A1C3E20-6B1F-4C8E-9D2A-0F1B2C3D4E13}",
    "",
};

std::string ReleaseKeyPath(const std::string& code) { return "\\" + std::string(UninstallKeyPath) + "\\" + code; }

namespace {

// Quillmar's settings file, "qm.ini" in the Windows directory.
std::string SettingsFileName() {
    char fileName[256];
    const unsigned length = win::GetWindowsDirectoryA(fileName, sizeof fileName);
    // Windows reports a directory that does not fit by the size it needs,
    // and a failure by 0; either way the buffer holds no usable name.
    if (length == 0 || length >= sizeof fileName) ThrowLocatedError(__FILE__, __LINE__, "String buffer overflow");
    if (fileName[length - 1] != '\\') SafeStrCat(fileName, sizeof fileName, "\\");
    SafeStrCat(fileName, sizeof fileName, "qm.ini");
    return fileName;
}

// The settings file is Quillmar's own proof of being installed: only its
// "Directory" entry is looked at, and only whether it holds anything.
bool SettingsRecordDirectory() {
    const std::string fileName = SettingsFileName();
    char directory[256];
    return win::GetPrivateProfileStringA("Program", "Directory", "", directory, sizeof directory,
                                         fileName.c_str()) != 0;
}

}  // namespace

TRemovalOutcome ForceUninstall() {
    if (!RegKeyExists(HKEY_LOCAL_MACHINE, UninstallKeyPath, KEY_READ)) return TRemovalOutcome::Completed;

    my_auto_ptr<TRegistry> registry(new TRegistry);
    registry->RootKey = HKEY_LOCAL_MACHINE;
    if (!registry->OpenKey(UninstallKeyPath, false)) throw Exception("Missing uninstall key");

    bool toolNotRun = false;
    for (const char* const* code = ProductCodes; **code != '\0'; ++code) {
        if (!registry->OpenKey(ReleaseKeyPath(*code), false)) continue;
        registry->CloseKey();
        if (!SettingsRecordDirectory()) {
            Application->Terminate();
            return TRemovalOutcome::StoppedNoDirectory;
        }
        // The tool's own exit status says nothing the user could act on; only
        // a tool that never ran leaves the release registered for certain.
        const TCommandOutcome outcome = RunThroughInterpreter(std::string("msizap TW ") + *code);
        if (!outcome.Started || outcome.ExitCode == CommandNotFoundStatus) toolNotRun = true;
    }
    return toolNotRun ? TRemovalOutcome::ToolNotRun : TRemovalOutcome::Completed;
}
