#include "platform/sim/SimWindows.h"

#include "platform/sim/SimInternal.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <sstream>

namespace sim {

namespace {

std::unique_ptr<Machine> machine;
std::unique_ptr<Windowing> windowing;

std::vector<std::string> SplitPath(const std::string& path, bool* wellFormed) {
    std::vector<std::string> parts;
    *wellFormed = true;
    if (path.empty()) return parts;
    std::string part;
    std::istringstream in(path);
    while (std::getline(in, part, '\\')) {
        if (part.empty()) *wellFormed = false;  // "\x", "x\\y" and "x\" name no key
        parts.push_back(part);
    }
    if (path.back() == '\\') *wellFormed = false;
    return parts;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// Settings files may be saved as UTF-16 with a byte-order mark, which Windows
// reads as text; other bytes are taken as they are.
std::string DecodeIniFile(const std::string& bytes) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::string text;
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
            const unsigned unit = static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
            text.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
        }
        return text;
    }
    return bytes;
}

std::optional<std::string> IniLookup(const std::string& bytes, const std::string& section, const std::string& key) {
    std::istringstream in(DecodeIniFile(bytes));
    std::string line;
    bool inSection = false;
    while (std::getline(in, line)) {
        const std::string trimmed = Trim(line);
        if (!trimmed.empty() && trimmed.front() == '[') {
            const auto close = trimmed.find(']');
            inSection = Lower(Trim(trimmed.substr(1, close == std::string::npos ? std::string::npos : close - 1))) ==
                        Lower(section);
            continue;
        }
        if (!inSection) continue;
        const auto equals = trimmed.find('=');
        if (equals == std::string::npos) continue;
        if (Lower(Trim(trimmed.substr(0, equals))) != Lower(key)) continue;
        std::string value = Trim(trimmed.substr(equals + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        return value;
    }
    return std::nullopt;
}

Key* RootFor(HKEY root) {
    if (root == HKEY_LOCAL_MACHINE) return &M().localMachine;
    if (root == HKEY_CURRENT_USER) return &M().currentUser;
    return nullptr;
}

// Open handles: the key each one refers to.
std::map<HKEY, Key*>& Handles() {
    static std::map<HKEY, Key*> handles;
    return handles;
}

std::uintptr_t nextHandle = 0x1000;

bool Allows(Rights rights, std::uint32_t access) {
    switch (rights) {
    case Rights::Full: return true;
    case Rights::ReadOnly: return (access & ~static_cast<std::uint32_t>(KEY_READ)) == 0;
    case Rights::None: return false;
    }
    return false;
}

Key* KeyFor(HKEY handle) {
    if (Key* root = RootFor(handle)) return root;
    auto found = Handles().find(handle);
    return found == Handles().end() ? nullptr : found->second;
}

}  // namespace

bool CaseInsensitiveLess::operator()(const std::string& a, const std::string& b) const { return Lower(a) < Lower(b); }

std::vector<unsigned char> StringData(const std::string& text) {
    std::vector<unsigned char> data(text.begin(), text.end());
    data.push_back(0);
    return data;
}

Action ClickOn(const std::string& control) {
    Action a;
    a.kind = Action::Click;
    a.control = control;
    return a;
}

Action ClickLine(int index, bool shift, bool ctrl) {
    Action a;
    a.kind = Action::ClickItem;
    a.index = index;
    a.shift = shift;
    a.ctrl = ctrl;
    return a;
}

Action Press(int virtualKey, bool shift) {
    Action a;
    a.kind = Action::Key;
    a.virtualKey = virtualKey;
    a.shift = shift;
    return a;
}

Action CloseTheWindow() {
    Action a;
    a.kind = Action::CloseBox;
    return a;
}

Action WaitFor(unsigned milliseconds) {
    Action a;
    a.kind = Action::Wait;
    a.milliseconds = milliseconds;
    return a;
}

Action Meanwhile(std::function<void()> change) {
    Action a;
    a.kind = Action::Meanwhile;
    a.change = std::move(change);
    return a;
}

Key& Machine::AddKey(const std::string& path, Rights rights, Key* root) {
    Key* key = root ? root : &localMachine;
    bool wellFormed = true;
    for (const std::string& part : SplitPath(path, &wellFormed)) {
        auto& child = key->subkeys[part];
        if (!child) child = std::make_unique<Key>();
        key = child.get();
    }
    key->rights = rights;
    return *key;
}

Key* Machine::FindKey(const std::string& path, Key* root) {
    Key* key = root ? root : &localMachine;
    bool wellFormed = true;
    for (const std::string& part : SplitPath(path, &wellFormed)) {
        auto found = key->subkeys.find(part);
        if (found == key->subkeys.end()) return nullptr;
        key = found->second.get();
    }
    return key;
}

bool Machine::DeleteKey(const std::string& path) {
    const auto slash = path.rfind('\\');
    Key* parent = slash == std::string::npos ? &localMachine : FindKey(path.substr(0, slash));
    if (!parent) return false;
    return parent->subkeys.erase(slash == std::string::npos ? path : path.substr(slash + 1)) == 1;
}

void Machine::SetValue(const std::string& keyPath, const std::string& name, Value value) {
    Key* key = FindKey(keyPath);
    if (!key) key = &AddKey(keyPath);
    key->values[name] = std::move(value);
}

void Machine::SetString(const std::string& keyPath, const std::string& name, const std::string& text) {
    SetValue(keyPath, name, Value{REG_SZ, StringData(text), false});
}

WindowSnapshot Machine::MainWindow() const {
    if (W().mainWindow) return Snapshot(*W().mainWindow);
    return lastMainWindow.value_or(WindowSnapshot{});
}

Machine& M() {
    if (!machine) Reset();
    return *machine;
}

Windowing& W() {
    if (!windowing) windowing = std::make_unique<Windowing>();
    return *windowing;
}

void Reset() {
    machine = std::make_unique<Machine>();
    windowing = std::make_unique<Windowing>();
    Handles().clear();
    machine->environment["COMSPEC"] = "C:\\WINDOWS\\system32\\cmd.exe";
    machine->environment["PATH"] = "C:\\WINDOWS\\system32;C:\\WINDOWS";
    machine->files["C:\\WINDOWS\\system32\\cmd.exe"] = "MZ";
}

}  // namespace sim

namespace win {

using namespace sim;

long RegOpenKeyExA(HKEY root, const char* subKey, std::uint32_t /*options*/, std::uint32_t access, HKEY* result) {
    *result = nullptr;
    Key* key = KeyFor(root);
    if (!key) return ERROR_INVALID_HANDLE;
    bool wellFormed = true;
    const std::vector<std::string> parts = SplitPath(subKey ? subKey : "", &wellFormed);
    if (!wellFormed) return 161L;  // ERROR_BAD_PATHNAME
    for (const std::string& part : parts) {
        auto found = key->subkeys.find(part);
        if (found == key->subkeys.end()) return ERROR_FILE_NOT_FOUND;
        key = found->second.get();
    }
    if (!Allows(key->rights, access)) return ERROR_ACCESS_DENIED;
    *result = reinterpret_cast<HKEY>(nextHandle++);
    Handles()[*result] = key;
    ++M().openKeys;
    return ERROR_SUCCESS;
}

long RegCloseKey(HKEY key) {
    if (RootFor(key)) return ERROR_SUCCESS;
    if (Handles().erase(key) == 0) {
        ++M().failedCloses;
        return ERROR_INVALID_HANDLE;
    }
    --M().openKeys;
    return ERROR_SUCCESS;
}

long RegQueryValueExA(HKEY handle, const char* name, std::uint32_t* type, unsigned char* data, std::uint32_t* size) {
    Key* key = KeyFor(handle);
    if (!key) return ERROR_INVALID_HANDLE;
    auto found = key->values.find(name ? name : "");
    if (found == key->values.end()) return ERROR_FILE_NOT_FOUND;
    const Value& value = found->second;
    if (value.unreadable) return ERROR_ACCESS_DENIED;
    if (type) *type = value.type;
    const auto needed = static_cast<std::uint32_t>(value.data.size());
    if (!data) {
        if (size) *size = needed;
        return ERROR_SUCCESS;
    }
    if (!size) return 87L;  // ERROR_INVALID_PARAMETER
    if (*size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    std::copy(value.data.begin(), value.data.end(), data);
    *size = needed;
    return ERROR_SUCCESS;
}

unsigned GetWindowsDirectoryA(char* buffer, unsigned size) {
    const std::optional<std::string>& directory = M().windowsDirectory;
    if (!directory) {
        // What a failed call leaves behind is unspecified: make it garbage.
        std::fill(buffer, buffer + size, '?');
        return 0;
    }
    if (directory->size() + 1 > size) {
        std::fill(buffer, buffer + size, '?');
        return static_cast<unsigned>(directory->size() + 1);
    }
    std::memcpy(buffer, directory->c_str(), directory->size() + 1);
    return static_cast<unsigned>(directory->size());
}

unsigned GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue, char* buffer,
                                  unsigned size, const char* fileName) {
    M().iniReads.emplace_back(fileName ? fileName : "");
    if (size == 0) return 0;
    std::string value = defaultValue ? defaultValue : "";
    auto file = M().files.find(fileName);
    if (file != M().files.end()) {
        if (auto found = IniLookup(file->second, section, key)) value = *found;
    }
    // Like Windows, a value longer than the buffer is cut to fit.
    const std::size_t copied = std::min<std::size_t>(value.size(), size - 1);
    std::memcpy(buffer, value.data(), copied);
    buffer[copied] = '\0';
    return static_cast<unsigned>(copied);
}

std::optional<std::string> GetEnvironmentVariableA(const char* name) {
    auto found = M().environment.find(name);
    if (found == M().environment.end()) return std::nullopt;
    return found->second;
}

std::optional<std::string> SearchPathA(const char* path, const char* fileName) {
    std::istringstream folders(path ? path : "");
    std::string folder;
    while (std::getline(folders, folder, ';')) {
        if (folder.empty()) continue;
        const std::string candidate = folder + (folder.back() == '\\' ? "" : "\\") + fileName;
        if (M().files.count(candidate)) return candidate;
    }
    return std::nullopt;
}

std::optional<std::uint32_t> RunProcessAndWait(const std::string& applicationName, const std::string& commandLine) {
    Machine& m = M();
    m.commands.push_back({applicationName, commandLine});
    if (!m.files.count(applicationName)) return std::nullopt;
    if (!m.outcomeFor) return 0u;
    const Command command = m.commands.back();
    return m.outcomeFor(command);
}

unsigned GetModuleFileNameA(char* buffer, unsigned size) {
    if (size == 0) return 0;
    const std::string& path = M().modulePath;
    const std::size_t copied = std::min<std::size_t>(path.size(), size - 1);
    std::memcpy(buffer, path.data(), copied);
    buffer[copied] = '\0';
    return copied < path.size() ? size : static_cast<unsigned>(copied);
}

bool ReleaseCapture() {
    ++M().captureReleases;
    return true;
}

int GetSystemDpi() { return M().dpi; }

int MessageBoxA(HWND owner, const char* text, const char* caption, unsigned type) {
    Machine& m = M();
    MessageBoxRecord box;
    box.text = text ? text : "";
    box.captionWasNull = caption == nullptr;
    box.caption = caption ? caption : "Error";
    box.type = type;
    Window* ownerWindow = FromHandle(owner);
    box.ownedByMainWindow = ownerWindow && ownerWindow == W().mainWindow;
    if (W().mainWindow) {
        const WindowSnapshot now = Snapshot(*W().mainWindow);
        box.listLines = now.listLines;
        box.listSelected = now.listSelected;
    }
    // A box disables its owner while it is up, as Windows does.
    const bool wasEnabled = ownerWindow ? ownerWindow->enabled : true;
    if (ownerWindow) ownerWindow->enabled = false;
    box.mainWindowEnabledDuringBox = W().mainWindow ? W().mainWindow->enabled : true;
    const bool yesNo = (type & 0xFu) == MB_YESNO;
    if (!m.boxAnswers.empty()) {
        box.answer = m.boxAnswers.front();
        m.boxAnswers.erase(m.boxAnswers.begin());
    } else {
        box.answer = yesNo ? IDNO : IDOK;
    }
    if (ownerWindow) ownerWindow->enabled = wasEnabled;
    m.boxes.push_back(box);
    return box.answer;
}

}  // namespace win
