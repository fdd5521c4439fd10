// The simulated Windows of the native build: an in-memory machine that the
// win:: calls and the form framework run against, and that tests set up,
// script and inspect. One machine exists at a time; Reset() makes it new.
//
// Tests run the whole program in-process (RunProgram) against it: the user's
// actions and the answers to message boxes are scripted beforehand, and the
// message loop performs them in order, delivering timer ticks as virtual
// time passes. When the script runs out the user walks away: the run ends
// with the window still open (Machine::endedWithWindowOpen).
#pragma once

#include "platform/WinApi.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sim {

struct CaseInsensitiveLess {
    bool operator()(const std::string& a, const std::string& b) const;
};

// What this process may do with a key.
enum class Rights {
    Full,      // any access
    ReadOnly,  // opens asking for no more than KEY_READ
    None,      // every open is denied
};

struct Value {
    std::uint32_t type = REG_SZ;
    std::vector<unsigned char> data;
    bool unreadable = false;  // exists, but every read fails
};

struct Key {
    Rights rights = Rights::Full;
    std::map<std::string, std::unique_ptr<Key>, CaseInsensitiveLess> subkeys;
    std::map<std::string, Value, CaseInsensitiveLess> values;
};

// Text as stored by RegSetValueExA: the characters and a terminating zero.
std::vector<unsigned char> StringData(const std::string& text);

struct Command {
    std::string application;  // the file started
    std::string commandLine;  // its full command line
};

// How one started command ends: its exit status, or nothing when it could not
// be started at all.
using CommandOutcome = std::optional<std::uint32_t>;

struct MessageBoxRecord {
    std::string text;
    std::string caption;
    bool captionWasNull = false;
    unsigned type = 0;
    bool ownedByMainWindow = false;
    bool mainWindowEnabledDuringBox = true;
    int answer = 0;
    std::vector<std::string> listLines;  // the main window's list while the box was up
    std::vector<bool> listSelected;
};

struct ControlSnapshot {
    std::string name, className, text;
    int id = 0, left = 0, top = 0, width = 0, height = 0, tabOrder = -1;
    bool multiSelect = false;
};

struct WindowSnapshot {
    std::string caption;
    int left = 0, top = 0, clientWidth = 0, clientHeight = 0;
    bool dialogBorder = false;
    std::string fontName;
    int fontHeight = 0;
    std::vector<ControlSnapshot> controls;
    std::vector<std::string> listLines;
    std::vector<bool> listSelected;
    bool timerEnabled = false;
};

// Something the user does, performed by the message loop in script order.
struct Action {
    enum Kind { Click, ClickItem, Key, CloseBox, Wait, Meanwhile } kind = Wait;
    std::string control;  // Click: the component's name
    int index = 0;        // ClickItem: the line
    int virtualKey = 0;   // Key: VK_ code (see below)
    bool shift = false, ctrl = false;
    unsigned milliseconds = 100;  // how long before it happens
    std::function<void()> change;  // Meanwhile: what another program changes
};

inline constexpr int VkTab = 0x09, VkReturn = 0x0D, VkEscape = 0x1B, VkSpace = 0x20, VkUp = 0x26, VkDown = 0x28;

Action ClickOn(const std::string& control);
Action ClickLine(int index, bool shift = false, bool ctrl = false);
Action Press(int virtualKey, bool shift = false);
Action CloseTheWindow();
Action WaitFor(unsigned milliseconds);
// Something changes the machine while the window is open (another program,
// an administrator), before the user's next action.
Action Meanwhile(std::function<void()> change);

struct Machine {
    // Registry
    Key localMachine, currentUser;
    int openKeys = 0;  // handles opened and not closed yet
    int failedCloses = 0;

    // System
    std::optional<std::string> windowsDirectory = std::string("C:\\WINDOWS");
    std::map<std::string, std::string, CaseInsensitiveLess> files;  // path -> bytes
    std::vector<std::string> iniReads;  // file names GetPrivateProfileStringA was given
    std::map<std::string, std::string, CaseInsensitiveLess> environment;
    std::string modulePath = "C:\\Program Files\\Quillmar\\QMUninstallKeysOnly.exe";
    int dpi = 96;
    // Average character width of the dialog font, in 1/4 pixels: 19/4 makes
    // the label's caption 266 pixels wide, as with MS Sans Serif.
    int charWidthQuarterPixels = 19;
    int captureReleases = 0;
    // Runs as a form's window is about to be made; a test makes start-up
    // fail by throwing from it.
    std::function<void()> beforeWindowCreated;

    // Commands: every start is recorded; outcomeFor decides how it ends
    // (default: exit status 0). It may change the machine, as a tool would.
    std::vector<Command> commands;
    std::function<CommandOutcome(const Command&)> outcomeFor;

    // Message boxes: answered in order from boxAnswers; with none left, the
    // box's safe button (No for Yes/No, else OK).
    std::vector<int> boxAnswers;
    std::vector<MessageBoxRecord> boxes;

    // The user's script, and what the message loop saw.
    std::vector<Action> actions;
    std::uint64_t now = 0;  // milliseconds since the message loop started
    int timerTicks = 0;
    bool endedWithWindowOpen = false;
    std::optional<WindowSnapshot> lastMainWindow;  // as it was when destroyed

    // Registry set-up helpers; paths are below the root, "\"-separated.
    Key& AddKey(const std::string& path, Rights rights = Rights::Full, Key* root = nullptr);
    void SetValue(const std::string& keyPath, const std::string& name, Value value);
    void SetString(const std::string& keyPath, const std::string& name, const std::string& text);
    Key* FindKey(const std::string& path, Key* root = nullptr);
    bool DeleteKey(const std::string& path);

    // The main window as it is now (while the program runs) or was last.
    WindowSnapshot MainWindow() const;
};

Machine& M();
// A new machine: empty registry, C:\WINDOWS, COMSPEC and PATH pointing at an
// existing C:\WINDOWS\system32\cmd.exe, no files otherwise.
void Reset();

}  // namespace sim
