// uidriver: starts QMUninstallKeysOnly.exe and works its window from a second
// process, the way a person at the screen would, then checks what they would
// see. It runs under Wine next to the program and writes a log of every step.
//
//   uidriver.exe --exe PROGRAM --log LOGFILE [--timeout SECONDS] [--sync DIR] SCRIPT
//
// Exit code: 0 every step passed, 1 a step failed, 2 the command line or the
// script could not be used.
//
// The script holds one step a line; '#' starts a comment line. Arguments are
// separated by blanks; "quoted" arguments may hold blanks and \n \t \" \\.
// Checks of the list and of the focus are retried until they hold or the
// timeout runs out, because the program answers asynchronously; checks of
// geometry are made once.
//
// A control is named by a selector: id=100, class=ListBox (the first one),
// class=Static#2 (the second one), or text=Delete. Only direct children of
// the main window are searched.
//
//   timeout SECONDS                 timeout for every following wait
//   start [ARG...]                  start the program
//   wait-window CAPTION             wait for the program's top-level window with this caption
//   expect-client-size W H          client area of the main window
//   expect-window-origin X Y        screen position of the main window's outer top-left
//   expect-control SEL X Y W H      rectangle in the main window's client coordinates;
//                                   each number may be written >=N or <=N
//   expect-class SEL CLASS          window class (case does not matter)
//   expect-text SEL TEXT            window text
//   expect-style SEL FLAG...        style bits set; !FLAG means the bit must be clear
//   expect-tab-order SEL...         the visible, enabled WS_TABSTOP children, in order
//   expect-focus SEL                the control that has the keyboard focus
//   expect-lines [TEXT...]          the list's lines, exactly (none: the list is empty)
//   expect-line-of I COUNT TEXT     line I is COUNT characters: TEXT over and over, the
//                                   last time cut short (for lines too long to spell out)
//   expect-selected all|none|I,J..  which list lines are selected (0-based)
//   click-line I [shift|ctrl]       press and release the left mouse button on line I
//   key NAME                        type a key into the program: tab, shift+tab, esc,
//                                   enter, space, up, down, home, end, shift+up,
//                                   shift+down, ctrl+home, ...
//   click SEL|TEXT                  click a button of the main window (BM_CLICK)
//   close                           the window's close box (WM_SYSCOMMAND SC_CLOSE)
//   wait-box                        wait for a message box of the program
//   expect-box-caption TEXT
//   expect-box-text TEXT
//   expect-box-icon error|warning|information|question|none
//                                   (told by colour: information and question,
//                                   both blue, pass for each other)
//   expect-box-buttons NAME...      its buttons from left to right (accelerator '&' dropped)
//   expect-box-modal                the box is owned by the main window, which is
//                                   disabled while the box shows
//   answer-box Yes|No|OK|Cancel     answer the box and wait until it has gone
//   expect-no-box                   no message box of the program is showing
//   expect-alive MS                 the program is still running after MS milliseconds
//                                   and its main window is visible and enabled
//   wait-exit CODE                  wait for the program to end with this exit code
//   checkpoint NAME                 write DIR\NAME.ready (main window rectangle "x y w h"
//                                   in screen pixels) and wait for DIR\NAME.done
//   dump                            log the main window and its children
#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------- text

std::wstring Widen(const std::string& s) {
    if (s.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
    return w;
}

std::string Narrow(const std::wstring& w) {
    if (w.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
    return s;
}

// Logged texts show line breaks and quotes as the script writes them, so a
// mismatch can be pasted back into a script.
std::string Quote(const std::wstring& w) {
    std::string out = "\"";
    for (char c : Narrow(w)) {
        switch (c) {
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            default: out += c;
        }
    }
    return out + "\"";
}

std::string Format(const char* fmt, ...) {
    char buf[2048];
    va_list ap;  // NOLINT(cppcoreguidelines-init-variables): va_start sets it
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return buf;
}

bool EqualNoCase(const std::wstring& a, const std::wstring& b) {
    return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_EQUAL;
}

// ---------------------------------------------------------------- log

FILE* g_log = nullptr;
DWORD g_startTick = 0;

void Log(const std::string& line) {
    if (!g_log) return;
    fprintf(g_log, "[%6lu ms] %s\n", static_cast<unsigned long>(GetTickCount() - g_startTick), line.c_str());
    fflush(g_log);
}

struct StepFailed {
    std::string why;
};

[[noreturn]] void Fail(const std::string& why) { throw StepFailed{why}; }

// ---------------------------------------------------------------- the program

struct Program {
    PROCESS_INFORMATION pi{};
    bool started = false;
    HWND main = nullptr;
    HWND box = nullptr;
    std::wstring exe;
    DWORD timeoutMs = 10000;
    std::wstring syncDir;

    bool Running() const { return started && WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT; }
    DWORD ExitCode() const {
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        return code;
    }
    bool Owns(HWND h) const {
        DWORD pid = 0;
        GetWindowThreadProcessId(h, &pid);
        return started && pid == pi.dwProcessId;
    }
};

Program g;

// Polls until `done` holds. Every wait ends: at the timeout, or when the
// program has ended while the wait still needs it.
void WaitFor(const std::string& what, const std::function<bool()>& done, bool needsProgram = true) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (done()) return;
        if (needsProgram && g.started && !g.Running()) {
            if (done()) return;
            Fail(Format("the program ended (exit code %lu) while waiting for %s", g.ExitCode(), what.c_str()));
        }
        if (GetTickCount() - start >= g.timeoutMs)
            Fail(Format("timed out after %lu ms waiting for %s", g.timeoutMs, what.c_str()));
        Sleep(20);
    }
}

// A cross-process message that cannot hang the driver when the program is
// busy, e.g. while it waits for a clean-up command to finish. A thread
// that has not looked at its messages for a few seconds counts as hung, and
// SMTO_ABORTIFHUNG then gives up at once; after a long clean-up the box
// that follows can count as hung for a moment after it appears, so the
// message is sent again until the timeout.
LRESULT Ask(HWND h, UINT msg, WPARAM w, LPARAM l) {
    const DWORD start = GetTickCount();
    for (;;) {
        DWORD_PTR result = 0;
        if (SendMessageTimeoutW(h, msg, w, l, SMTO_ABORTIFHUNG, g.timeoutMs, &result))
            return static_cast<LRESULT>(result);
        if (!IsWindow(h) || GetTickCount() - start >= g.timeoutMs)
            Fail(Format("window %p did not answer message 0x%04X within %lu ms", static_cast<void*>(h), msg,
                        g.timeoutMs));
        Sleep(50);
    }
}

std::wstring ClassOf(HWND h) {
    wchar_t buf[256] = {};
    GetClassNameW(h, buf, 256);
    return buf;
}

// WM_GETTEXT rather than GetWindowTextW: across processes the latter does
// not ask a child control for its text.
std::wstring TextOf(HWND h) {
    const LRESULT len = Ask(h, WM_GETTEXTLENGTH, 0, 0);
    std::wstring s(static_cast<size_t>(len) + 1, L'\0');
    const LRESULT got = Ask(h, WM_GETTEXT, s.size(), reinterpret_cast<LPARAM>(&s[0]));
    s.resize(static_cast<size_t>(got));
    return s;
}

std::wstring CaptionOf(HWND h) {
    wchar_t buf[1024] = {};
    GetWindowTextW(h, buf, 1024);
    return buf;
}

BOOL CALLBACK CollectProgramWindow(HWND h, LPARAM found) {
    if (g.Owns(h)) reinterpret_cast<std::vector<HWND>*>(found)->push_back(h);
    return TRUE;
}

std::vector<HWND> TopLevelWindowsOfProgram() {
    std::vector<HWND> found;
    EnumWindows(CollectProgramWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

std::vector<HWND> ChildrenOf(HWND parent) {
    std::vector<HWND> kids;
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) kids.push_back(c);
    return kids;
}

// A message box is a dialog with a text control 0xFFFF, which tells it from
// a main window that might itself be a dialog.
HWND VisibleBox() {
    for (HWND h : TopLevelWindowsOfProgram())
        if (h != g.main && IsWindowVisible(h) && ClassOf(h) == L"#32770" && GetDlgItem(h, 0xFFFF)) return h;
    return nullptr;
}

HWND NeedMain() {
    if (!g.main || !IsWindow(g.main)) Fail("no main window: use wait-window first");
    return g.main;
}

HWND NeedBox() {
    if (!g.box || !IsWindow(g.box)) Fail("no message box: use wait-box first");
    return g.box;
}

RECT RectInClient(HWND parent, HWND child) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::string Describe(HWND h, HWND parent) {
    const RECT r = RectInClient(parent, h);
    const LONG style = GetWindowLongW(h, GWL_STYLE);
    return Format("%s id=%d text=%s at %ld,%ld size %ldx%ld style=0x%08lX%s", Narrow(ClassOf(h)).c_str(),
                  GetDlgCtrlID(h), Quote(TextOf(h)).c_str(), r.left, r.top, r.right - r.left, r.bottom - r.top,
                  static_cast<unsigned long>(style), IsWindowVisible(h) ? "" : " (hidden)");
}

// ---------------------------------------------------------------- selectors

struct Selector {
    std::string spelled;
    std::function<bool(HWND)> matches;
    int nth = 1;
};

Selector ParseSelector(const std::string& s) {
    Selector sel;
    sel.spelled = s;
    const size_t eq = s.find('=');
    if (eq == std::string::npos) Fail("selector " + s + " is not id=N, class=NAME[#k] or text=TEXT");
    const std::string kind = s.substr(0, eq);
    std::string value = s.substr(eq + 1);
    if (kind == "id") {
        const int id = static_cast<int>(strtol(value.c_str(), nullptr, 0));
        sel.matches = [id](HWND h) { return GetDlgCtrlID(h) == id; };
    } else if (kind == "class") {
        const size_t hash = value.find('#');
        if (hash != std::string::npos) {
            sel.nth = atoi(value.c_str() + hash + 1);
            value.resize(hash);
        }
        const std::wstring cls = Widen(value);
        sel.matches = [cls](HWND h) { return EqualNoCase(ClassOf(h), cls); };
    } else if (kind == "text") {
        const std::wstring text = Widen(value);
        sel.matches = [text](HWND h) { return TextOf(h) == text; };
    } else {
        Fail("selector " + s + " is not id=N, class=NAME[#k] or text=TEXT");
    }
    return sel;
}

HWND Find(const std::string& spelled) {
    const Selector sel = ParseSelector(spelled);
    int seen = 0;
    for (HWND c : ChildrenOf(NeedMain()))
        if (sel.matches(c) && ++seen == sel.nth) return c;
    Fail("no control of the main window matches " + spelled);
}

// ---------------------------------------------------------------- the list

HWND TheList() {
    for (HWND c : ChildrenOf(NeedMain()))
        if (EqualNoCase(ClassOf(c), L"ListBox")) return c;
    Fail("the main window has no list box");
}

std::vector<std::wstring> ListLines(HWND list) {
    std::vector<std::wstring> lines;
    const LRESULT count = Ask(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT len = Ask(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
        if (len == LB_ERR) break;  // the list changed under us; the caller polls again
        std::wstring s(static_cast<size_t>(len) + 1, L'\0');
        const LRESULT got = Ask(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&s[0]));
        s.resize(got == LB_ERR ? 0 : static_cast<size_t>(got));
        lines.push_back(s);
    }
    return lines;
}

std::vector<bool> ListSelection(HWND list) {
    std::vector<bool> sel;
    const LRESULT count = Ask(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) sel.push_back(Ask(list, LB_GETSEL, static_cast<WPARAM>(i), 0) > 0);
    return sel;
}

std::string DescribeSelection(const std::vector<bool>& sel) {
    std::string s;
    for (size_t i = 0; i < sel.size(); ++i) {
        if (!sel[i]) continue;
        if (!s.empty()) s += ',';
        s += std::to_string(i);
    }
    return Format("%s of %u lines", s.empty() ? "none" : s.c_str(), static_cast<unsigned>(sel.size()));
}

// ---------------------------------------------------------------- input

// A key name such as "shift+down" as the virtual keys to hold and the key to press.
struct KeyChord {
    std::vector<WORD> held;
    WORD key = 0;
};

KeyChord ParseKey(const std::string& name) {
    static const std::map<std::string, WORD> keys = {
        {"tab", VK_TAB},   {"esc", VK_ESCAPE}, {"enter", VK_RETURN}, {"space", VK_SPACE},
        {"up", VK_UP},     {"down", VK_DOWN},  {"left", VK_LEFT},    {"right", VK_RIGHT},
        {"home", VK_HOME}, {"end", VK_END},    {"pageup", VK_PRIOR}, {"pagedown", VK_NEXT},
        {"f4", VK_F4}};
    static const std::map<std::string, WORD> modifiers = {{"shift", VK_SHIFT}, {"ctrl", VK_CONTROL}, {"alt", VK_MENU}};
    KeyChord chord;
    std::string rest = name;
    for (size_t plus = rest.find('+'); plus != std::string::npos; plus = rest.find('+')) {
        const auto m = modifiers.find(rest.substr(0, plus));
        if (m == modifiers.end()) Fail("unknown modifier in key " + name);
        chord.held.push_back(m->second);
        rest = rest.substr(plus + 1);
    }
    const auto k = keys.find(rest);
    if (k == keys.end()) Fail("unknown key " + name);
    chord.key = k->second;
    return chord;
}

INPUT KeyInput(WORD vk, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    if (vk == VK_UP || vk == VK_DOWN || vk == VK_LEFT || vk == VK_RIGHT || vk == VK_HOME || vk == VK_END ||
        vk == VK_PRIOR || vk == VK_NEXT)
        in.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
    return in;
}

DWORD ProgramThread() {
    const DWORD tid = GetWindowThreadProcessId(NeedMain(), nullptr);
    if (!tid) Fail("cannot tell which thread owns the main window");
    return tid;
}

// Keys go in as real keyboard input, so they pass through the program's own
// message loop and IsDialogMessage, and Shift is down for GetKeyState as it
// would be for a person. To know when the program has taken them, an F24
// press follows: sharing the program's input state, this thread sees F24's
// toggle bit flip once the program has read that press, and so everything
// typed before it. The sharing is set up once and kept: under Wine, attaching
// clears the shared key state, which would make the toggle bit unreadable.
void TypeKey(const KeyChord& chord) {
    HWND fg = GetForegroundWindow();
    if (!fg || !g.Owns(fg)) {
        SetForegroundWindow(g.box && IsWindow(g.box) ? g.box : NeedMain());
        WaitFor("the program's window to become the foreground window", [] {
            HWND f = GetForegroundWindow();
            return f && g.Owns(f);
        });
    }
    static DWORD attached = 0;
    const DWORD them = ProgramThread();
    if (attached != them) {
        if (!AttachThreadInput(GetCurrentThreadId(), them, TRUE))
            Fail("cannot share the program's input state (AttachThreadInput)");
        attached = them;
    }

    const bool markerBefore = (GetKeyState(VK_F24) & 1) != 0;
    std::vector<INPUT> seq;
    for (WORD m : chord.held) seq.push_back(KeyInput(m, false));
    seq.push_back(KeyInput(chord.key, false));
    seq.push_back(KeyInput(chord.key, true));
    for (auto it = chord.held.rbegin(); it != chord.held.rend(); ++it) seq.push_back(KeyInput(*it, true));
    seq.push_back(KeyInput(VK_F24, false));
    seq.push_back(KeyInput(VK_F24, true));
    if (SendInput(static_cast<UINT>(seq.size()), seq.data(), sizeof(INPUT)) != seq.size())
        Fail("SendInput did not take the key presses");
    WaitFor(
        "the program to read the key presses",
        [&] { return !g.Running() || ((GetKeyState(VK_F24) & 1) != 0) != markerBefore; }, false);
}

// ---------------------------------------------------------------- message box icon

// The box's icon is a handle in the program's process and cannot be read
// from here, so its kind is told from the pixels on the screen: the error
// icon is red, the warning icon yellow, information and question blue.
std::string IconKind(HWND box, std::string* detail) {
    HWND icon = nullptr;
    for (HWND c : ChildrenOf(box)) {
        const LONG style = GetWindowLongW(c, GWL_STYLE);
        if (EqualNoCase(ClassOf(c), L"Static") && (style & SS_TYPEMASK) == SS_ICON && IsWindowVisible(c) &&
            Ask(c, STM_GETICON, 0, 0) != 0)
            icon = c;
    }
    if (!icon) return "none";
    RECT r;
    GetWindowRect(icon, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return "none";

    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    int red = 0, yellow = 0, blue = 0;
    const auto* px = static_cast<const unsigned char*>(bits);
    for (int i = 0; i < w * h; ++i) {
        const int b = px[4 * i], gr = px[4 * i + 1], rd = px[4 * i + 2];
        if (rd >= 160 && gr <= 100 && b <= 100) ++red;
        else if (rd >= 180 && gr >= 140 && b <= 100) ++yellow;
        else if (b >= 150 && rd <= 120) ++blue;
    }
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    *detail = Format("icon %dx%d at %ld,%ld: %d red, %d yellow, %d blue pixels", w, h, r.left, r.top, red, yellow, blue);
    const int enough = w * h / 20;
    if (red >= enough && red >= yellow && red >= blue) return "error";
    if (yellow >= enough && yellow >= blue) return "warning";
    if (blue >= enough) return "information-or-question";
    return "unrecognised";
}

std::vector<std::wstring> BoxButtons(HWND box) {
    std::vector<std::pair<LONG, std::wstring>> found;
    for (HWND c : ChildrenOf(box)) {
        if (!EqualNoCase(ClassOf(c), L"Button") || !IsWindowVisible(c)) continue;
        RECT r;
        GetWindowRect(c, &r);
        std::wstring text;
        for (wchar_t ch : TextOf(c))
            if (ch != L'&') text += ch;
        found.emplace_back(r.left, text);
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::wstring> names;
    names.reserve(found.size());
    for (auto& f : found) names.push_back(f.second);
    return names;
}

// ---------------------------------------------------------------- numbers

int ToInt(const std::string& s) {
    char* end = nullptr;
    const long v = strtol(s.c_str(), &end, 0);
    if (s.empty() || *end) Fail("not a number: " + s);
    return static_cast<int>(v);
}

// "12", ">=12" or "<=12" against an actual value.
bool Within(const std::string& expected, long actual) {
    if (expected.rfind(">=", 0) == 0) return actual >= ToInt(expected.substr(2));
    if (expected.rfind("<=", 0) == 0) return actual <= ToInt(expected.substr(2));
    return actual == ToInt(expected);
}

std::string Joined(const std::vector<std::wstring>& items) {
    std::string s;
    for (auto& i : items) {
        if (!s.empty()) s += ' ';
        s += Quote(i);
    }
    return s.empty() ? "(none)" : s;
}

// ---------------------------------------------------------------- steps

using Args = std::vector<std::string>;

void NeedArgs(const Args& a, size_t least, size_t most, const char* usage) {
    if (a.size() < least || a.size() > most) Fail(std::string("usage: ") + usage);
}

void StepStart(const Args& a) {
    if (g.started) Fail("the program was started already");
    if (g.exe.empty()) Fail("no --exe given");
    std::wstring cmd = L"\"" + g.exe + L"\"";
    for (auto& arg : a) cmd += L" " + Widen(arg);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    if (!CreateProcessW(g.exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &g.pi))
        Fail(Format("CreateProcess failed with error %lu for %s", GetLastError(), Narrow(g.exe).c_str()));
    g.started = true;
    Log(Format("  started process %lu", g.pi.dwProcessId));
}

void StepWaitWindow(const Args& a) {
    NeedArgs(a, 1, 1, "wait-window CAPTION");
    const std::wstring caption = Widen(a[0]);
    WaitFor("a visible window captioned " + Quote(caption), [&] {
        for (HWND h : TopLevelWindowsOfProgram())
            if (IsWindowVisible(h) && CaptionOf(h) == caption && ClassOf(h) != L"#32770") {
                g.main = h;
                return true;
            }
        // The main window may itself be a dialog; then any other box is not it.
        for (HWND h : TopLevelWindowsOfProgram())
            if (IsWindowVisible(h) && CaptionOf(h) == caption) {
                g.main = h;
                return true;
            }
        return false;
    });
}

void StepClientSize(const Args& a) {
    NeedArgs(a, 2, 2, "expect-client-size W H");
    RECT r;
    GetClientRect(NeedMain(), &r);
    if (!Within(a[0], r.right) || !Within(a[1], r.bottom))
        Fail(Format("client area is %ldx%ld, expected %sx%s", r.right, r.bottom, a[0].c_str(), a[1].c_str()));
    Log(Format("  client area %ldx%ld", r.right, r.bottom));
}

void StepWindowOrigin(const Args& a) {
    NeedArgs(a, 2, 2, "expect-window-origin X Y");
    RECT r;
    GetWindowRect(NeedMain(), &r);
    if (!Within(a[0], r.left) || !Within(a[1], r.top))
        Fail(Format("window's outer top-left is %ld,%ld, expected %s,%s", r.left, r.top, a[0].c_str(), a[1].c_str()));
    Log(Format("  outer rectangle %ld,%ld - %ld,%ld", r.left, r.top, r.right, r.bottom));
}

void StepControl(const Args& a) {
    NeedArgs(a, 5, 5, "expect-control SEL X Y W H");
    HWND c = Find(a[0]);
    const RECT r = RectInClient(NeedMain(), c);
    const long got[4] = {r.left, r.top, r.right - r.left, r.bottom - r.top};
    for (int i = 0; i < 4; ++i)
        if (!Within(a[1 + i], got[i]))
            Fail(Format("%s is at %ld,%ld size %ldx%ld, expected %s,%s size %sx%s", a[0].c_str(), got[0], got[1], got[2],
                        got[3], a[1].c_str(), a[2].c_str(), a[3].c_str(), a[4].c_str()));
    Log("  " + Describe(c, NeedMain()));
}

void StepClass(const Args& a) {
    NeedArgs(a, 2, 2, "expect-class SEL CLASS");
    const std::wstring cls = ClassOf(Find(a[0]));
    if (!EqualNoCase(cls, Widen(a[1]))) Fail(a[0] + " has class " + Narrow(cls) + ", expected " + a[1]);
}

void StepText(const Args& a) {
    NeedArgs(a, 2, 2, "expect-text SEL TEXT");
    const std::wstring text = TextOf(Find(a[0]));
    if (text != Widen(a[1])) Fail(a[0] + " reads " + Quote(text) + ", expected " + Quote(Widen(a[1])));
}

void StepStyle(const Args& a) {
    NeedArgs(a, 2, 99, "expect-style SEL FLAG...");
    static const std::map<std::string, LONG> flags = {
        {"WS_TABSTOP", WS_TABSTOP},           {"WS_GROUP", WS_GROUP},         {"WS_VISIBLE", WS_VISIBLE},
        {"WS_DISABLED", WS_DISABLED},         {"WS_VSCROLL", WS_VSCROLL},     {"WS_BORDER", WS_BORDER},
        {"LBS_EXTENDEDSEL", LBS_EXTENDEDSEL}, {"LBS_MULTIPLESEL", LBS_MULTIPLESEL}, {"LBS_SORT", LBS_SORT},
        {"LBS_NOTIFY", LBS_NOTIFY},           {"LBS_NOSEL", LBS_NOSEL}};
    HWND c = Find(a[0]);
    const LONG style = GetWindowLongW(c, GWL_STYLE);
    for (size_t i = 1; i < a.size(); ++i) {
        const bool clear = a[i][0] == '!';
        const auto f = flags.find(clear ? a[i].substr(1) : a[i]);
        if (f == flags.end()) Fail("unknown style flag " + a[i]);
        if (((style & f->second) == f->second) == clear)
            Fail(Format("%s has style 0x%08lX: %s", a[0].c_str(), static_cast<unsigned long>(style),
                        clear ? (a[i].substr(1) + " is set").c_str() : (a[i] + " is clear").c_str()));
    }
}

void StepTabOrder(const Args& a) {
    NeedArgs(a, 1, 99, "expect-tab-order SEL...");
    HWND main = NeedMain();
    std::vector<HWND> expected;
    for (auto& s : a) expected.push_back(Find(s));
    std::vector<HWND> stops;
    for (HWND c : ChildrenOf(main)) {
        const LONG style = GetWindowLongW(c, GWL_STYLE);
        if ((style & WS_TABSTOP) && IsWindowVisible(c) && IsWindowEnabled(c)) stops.push_back(c);
    }
    auto names = [&](const std::vector<HWND>& hs) {
        std::string s;
        for (HWND h : hs) {
            if (!s.empty()) s += ", ";
            s += Narrow(ClassOf(h)) + " " + Quote(TextOf(h));
        }
        return s;
    };
    if (stops != expected) Fail("tab stops in order are: " + names(stops) + "; expected: " + names(expected));
    // The dialog manager's own walk must agree, wrapping at the end.
    for (size_t i = 0; i < expected.size(); ++i) {
        HWND next = GetNextDlgTabItem(main, expected[i], FALSE);
        HWND want = expected[(i + 1) % expected.size()];
        if (next != want)
            Fail("after " + names({expected[i]}) + " the dialog manager tabs to " + names({next}) + ", expected " +
                 names({want}));
    }
    Log("  tab stops: " + names(stops));
}

HWND FocusOfProgram() {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(ProgramThread(), &info)) return nullptr;
    return info.hwndFocus;
}

void StepFocus(const Args& a) {
    NeedArgs(a, 1, 1, "expect-focus SEL");
    HWND want = Find(a[0]);
    HWND last = nullptr;
    try {
        WaitFor("the focus to be on " + a[0], [&] { return (last = FocusOfProgram()) == want; });
    } catch (StepFailed& f) {
        f.why += "; it is on " + (last ? Describe(last, GetParent(last)) : std::string("nothing"));
        throw;
    }
}

void StepLines(const Args& a) {
    std::vector<std::wstring> expected;
    for (auto& s : a) expected.push_back(Widen(s));
    HWND list = TheList();
    std::vector<std::wstring> seen;
    try {
        WaitFor("the list to read " + Joined(expected), [&] { return (seen = ListLines(list)) == expected; });
    } catch (StepFailed& f) {
        f.why += "; it reads " + Joined(seen);
        throw;
    }
    Log("  list: " + Joined(seen));
}

// A long line is told apart from its neighbours by length and by where it
// first differs, never printed whole.
void StepLineOf(const Args& a) {
    NeedArgs(a, 3, 3, "expect-line-of I COUNT TEXT");
    const int index = ToInt(a[0]);
    const int count = ToInt(a[1]);
    const std::wstring unit = Widen(a[2]);
    if (index < 0 || count < 0 || unit.empty()) Fail("expect-line-of needs I >= 0, COUNT >= 0 and some TEXT");
    std::wstring expected;
    expected.reserve(static_cast<size_t>(count) + unit.size());
    while (expected.size() < static_cast<size_t>(count)) expected += unit;
    expected.resize(static_cast<size_t>(count));
    HWND list = TheList();
    std::string seen = "no such line";
    try {
        WaitFor(Format("line %d to be %d characters of %s", index, count, Quote(unit).c_str()), [&] {
            const std::vector<std::wstring> lines = ListLines(list);
            if (static_cast<size_t>(index) >= lines.size()) {
                seen = Format("the list has %u lines", static_cast<unsigned>(lines.size()));
                return false;
            }
            const std::wstring& line = lines[static_cast<size_t>(index)];
            if (line == expected) return true;
            const auto diff = std::mismatch(line.begin(), line.end(), expected.begin(), expected.end());
            seen = Format("it has %u characters and first differs at character %u",
                          static_cast<unsigned>(line.size()), static_cast<unsigned>(diff.first - line.begin()));
            return false;
        });
    } catch (StepFailed& f) {
        f.why += "; " + seen;
        throw;
    }
    Log(Format("  line %d: %d characters as expected", index, count));
}

void StepSelected(const Args& a) {
    NeedArgs(a, 1, 1, "expect-selected all|none|I,J,...");
    HWND list = TheList();
    const std::string& want = a[0];
    auto holds = [&](const std::vector<bool>& sel) {
        if (want == "all") return !sel.empty() && std::all_of(sel.begin(), sel.end(), [](bool b) { return b; });
        if (want == "none") return std::none_of(sel.begin(), sel.end(), [](bool b) { return b; });
        std::vector<bool> expected(sel.size(), false);
        size_t pos = 0;
        while (pos < want.size()) {
            const size_t comma = want.find(',', pos);
            const int i = ToInt(want.substr(pos, comma - pos));
            if (i < 0 || static_cast<size_t>(i) >= sel.size()) return false;
            expected[static_cast<size_t>(i)] = true;
            pos = comma == std::string::npos ? want.size() : comma + 1;
        }
        return sel == expected;
    };
    std::vector<bool> seen;
    try {
        WaitFor("the selection to be " + want, [&] { return holds(seen = ListSelection(list)); });
    } catch (StepFailed& f) {
        f.why += "; selected are " + DescribeSelection(seen);
        throw;
    }
    Log("  selected: " + DescribeSelection(seen));
}

// Sent, not posted: when the second message returns the list box and the
// program have finished with the click, so a check that follows sees their
// answer to it and not the state before it.
void StepClickLine(const Args& a) {
    NeedArgs(a, 1, 2, "click-line I [shift|ctrl]");
    HWND list = TheList();
    const int index = ToInt(a[0]);
    WPARAM keys = MK_LBUTTON;
    if (a.size() == 2) {
        if (a[1] == "shift") keys |= MK_SHIFT;
        else if (a[1] == "ctrl") keys |= MK_CONTROL;
        else Fail("click-line modifier must be shift or ctrl");
    }
    RECT item{};
    if (Ask(list, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)) == LB_ERR)
        Fail(Format("the list has no line %d", index));
    const LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
    Log(Format("  clicking at %d,%d in the list", (item.left + item.right) / 2, (item.top + item.bottom) / 2));
    Ask(list, WM_LBUTTONDOWN, keys, at);
    Ask(list, WM_LBUTTONUP, keys & ~static_cast<WPARAM>(MK_LBUTTON), at);
}

void StepKey(const Args& a) {
    NeedArgs(a, 1, 1, "key NAME");
    TypeKey(ParseKey(a[0]));
}

void StepClick(const Args& a) {
    NeedArgs(a, 1, 1, "click SEL|TEXT");
    HWND b = a[0].find('=') != std::string::npos ? Find(a[0]) : Find("text=" + a[0]);
    if (!IsWindowEnabled(b) || !IsWindowVisible(b)) Fail(a[0] + " is hidden or disabled");
    PostMessageW(b, BM_CLICK, 0, 0);
}

void StepClose(const Args& a) {
    NeedArgs(a, 0, 0, "close");
    PostMessageW(NeedMain(), WM_SYSCOMMAND, SC_CLOSE, 0);
}

void StepWaitBox(const Args& a) {
    NeedArgs(a, 0, 0, "wait-box");
    WaitFor("a message box", [] { return (g.box = VisibleBox()) != nullptr; });
    Log("  box " + Quote(CaptionOf(g.box)) + ": " + Quote(TextOf(GetDlgItem(g.box, 0xFFFF))));
}

void StepBoxCaption(const Args& a) {
    NeedArgs(a, 1, 1, "expect-box-caption TEXT");
    const std::wstring caption = CaptionOf(NeedBox());
    if (caption != Widen(a[0])) Fail("the box's caption is " + Quote(caption) + ", expected " + Quote(Widen(a[0])));
}

void StepBoxText(const Args& a) {
    NeedArgs(a, 1, 1, "expect-box-text TEXT");
    HWND text = GetDlgItem(NeedBox(), 0xFFFF);
    if (!text) Fail("the box has no text control");
    const std::wstring got = TextOf(text);
    if (got != Widen(a[0])) Fail("the box reads " + Quote(got) + ", expected " + Quote(Widen(a[0])));
}

void StepBoxIcon(const Args& a) {
    NeedArgs(a, 1, 1, "expect-box-icon error|warning|information|question|none");
    std::string detail;
    const std::string kind = IconKind(NeedBox(), &detail);
    if (!detail.empty()) Log("  " + detail);
    const std::string want = a[0] == "information" || a[0] == "question" ? "information-or-question" : a[0];
    if (kind != want) Fail("the box shows icon " + kind + ", expected " + a[0]);
}

void StepBoxButtons(const Args& a) {
    std::vector<std::wstring> expected;
    for (auto& s : a) expected.push_back(Widen(s));
    const std::vector<std::wstring> got = BoxButtons(NeedBox());
    if (got != expected) Fail("the box's buttons are " + Joined(got) + ", expected " + Joined(expected));
}

void StepBoxModal(const Args& a) {
    NeedArgs(a, 0, 0, "expect-box-modal");
    HWND box = NeedBox();
    HWND main = NeedMain();
    HWND owner = GetWindow(box, GW_OWNER);
    if (owner != main)
        Fail(owner ? "the box is owned by " + Quote(CaptionOf(owner)) + ", not by the main window"
                   : std::string("the box has no owner window"));
    if (IsWindowEnabled(main)) Fail("the main window takes input while the box shows");
}

void StepAnswerBox(const Args& a) {
    NeedArgs(a, 1, 1, "answer-box Yes|No|OK|Cancel");
    static const std::map<std::string, int> ids = {{"Yes", IDYES}, {"No", IDNO}, {"OK", IDOK}, {"Cancel", IDCANCEL}};
    const auto id = ids.find(a[0]);
    if (id == ids.end()) Fail("answer-box takes Yes, No, OK or Cancel");
    HWND box = NeedBox();
    HWND button = GetDlgItem(box, id->second);
    if (!button || !IsWindowVisible(button)) Fail("the box has no " + a[0] + " button");
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(id->second, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    WaitFor("the box to close", [box] { return !IsWindow(box) || !IsWindowVisible(box); }, false);
    g.box = nullptr;
}

void StepNoBox(const Args& a) {
    NeedArgs(a, 0, 0, "expect-no-box");
    if (HWND box = VisibleBox())
        Fail("a box is showing: " + Quote(CaptionOf(box)) + " " + Quote(TextOf(GetDlgItem(box, 0xFFFF))));
}

void StepAlive(const Args& a) {
    NeedArgs(a, 1, 1, "expect-alive MS");
    if (WaitForSingleObject(g.pi.hProcess, static_cast<DWORD>(ToInt(a[0]))) != WAIT_TIMEOUT)
        Fail(Format("the program ended (exit code %lu)", g.ExitCode()));
    HWND main = NeedMain();
    if (!IsWindowVisible(main)) Fail("the main window is hidden");
    if (!IsWindowEnabled(main)) Fail("the main window is disabled");
}

void StepWaitExit(const Args& a) {
    NeedArgs(a, 1, 1, "wait-exit CODE");
    if (!g.started) Fail("the program was not started");
    WaitFor("the program to end", [] { return !g.Running(); }, false);
    const DWORD code = g.ExitCode();
    if (code != static_cast<DWORD>(ToInt(a[0]))) Fail(Format("the program ended with exit code %lu, expected %s", code, a[0].c_str()));
    Log(Format("  exit code %lu", code));
}

void StepCheckpoint(const Args& a) {
    NeedArgs(a, 1, 1, "checkpoint NAME");
    if (g.syncDir.empty()) Fail("checkpoint needs --sync DIR");
    RECT r;
    GetWindowRect(NeedMain(), &r);
    const std::wstring base = g.syncDir + L"\\" + Widen(a[0]);
    const std::wstring ready = base + L".ready", done = base + L".done";
    FILE* f = _wfopen((ready + L".tmp").c_str(), L"wb");
    if (!f) Fail("cannot write " + Narrow(ready));
    fprintf(f, "%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    fclose(f);
    MoveFileExW((ready + L".tmp").c_str(), ready.c_str(), MOVEFILE_REPLACE_EXISTING);
    WaitFor("the harness to answer checkpoint " + a[0] + " (" + Narrow(done) + ")",
            [&] { return GetFileAttributesW(done.c_str()) != INVALID_FILE_ATTRIBUTES; });
}

void StepDump(const Args& a) {
    NeedArgs(a, 0, 0, "dump");
    for (HWND h : TopLevelWindowsOfProgram()) {
        RECT r;
        GetWindowRect(h, &r);
        Log(Format("  window %s class %s at %ld,%ld - %ld,%ld%s", Quote(CaptionOf(h)).c_str(), Narrow(ClassOf(h)).c_str(),
                   r.left, r.top, r.right, r.bottom, IsWindowVisible(h) ? "" : " (hidden)"));
        for (HWND c : ChildrenOf(h)) Log("    " + Describe(c, h));
    }
}

void StepTimeout(const Args& a) {
    NeedArgs(a, 1, 1, "timeout SECONDS");
    g.timeoutMs = static_cast<DWORD>(ToInt(a[0])) * 1000;
}

const std::map<std::string, void (*)(const Args&)> kSteps = {
    {"timeout", StepTimeout},
    {"start", StepStart},
    {"wait-window", StepWaitWindow},
    {"expect-client-size", StepClientSize},
    {"expect-window-origin", StepWindowOrigin},
    {"expect-control", StepControl},
    {"expect-class", StepClass},
    {"expect-text", StepText},
    {"expect-style", StepStyle},
    {"expect-tab-order", StepTabOrder},
    {"expect-focus", StepFocus},
    {"expect-lines", StepLines},
    {"expect-line-of", StepLineOf},
    {"expect-selected", StepSelected},
    {"click-line", StepClickLine},
    {"key", StepKey},
    {"click", StepClick},
    {"close", StepClose},
    {"wait-box", StepWaitBox},
    {"expect-box-caption", StepBoxCaption},
    {"expect-box-text", StepBoxText},
    {"expect-box-icon", StepBoxIcon},
    {"expect-box-buttons", StepBoxButtons},
    {"expect-box-modal", StepBoxModal},
    {"answer-box", StepAnswerBox},
    {"expect-no-box", StepNoBox},
    {"expect-alive", StepAlive},
    {"wait-exit", StepWaitExit},
    {"checkpoint", StepCheckpoint},
    {"dump", StepDump},
};

// ---------------------------------------------------------------- script

struct Line {
    int number;
    std::string text;
    Args words;
};

bool Tokenize(const std::string& text, Args* out, std::string* error) {
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
        if (i >= text.size()) break;
        std::string word;
        if (text[i] == '"') {
            ++i;
            bool closed = false;
            while (i < text.size()) {
                const char c = text[i++];
                if (c == '"') {
                    closed = true;
                    break;
                }
                if (c == '\\' && i < text.size()) {
                    const char e = text[i++];
                    word += e == 'n' ? '\n' : e == 't' ? '\t' : e;
                } else {
                    word += c;
                }
            }
            if (!closed) {
                *error = "unterminated quote";
                return false;
            }
        } else {
            while (i < text.size() && text[i] != ' ' && text[i] != '\t') word += text[i++];
        }
        out->push_back(word);
    }
    return true;
}

bool ReadScript(const std::wstring& path, std::vector<Line>* lines, std::string* error) {
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) {
        *error = "cannot read script " + Narrow(path);
        return false;
    }
    std::string all;
    char buf[4096];
    for (size_t n = fread(buf, 1, sizeof buf, f); n > 0; n = fread(buf, 1, sizeof buf, f)) all.append(buf, n);
    fclose(f);
    if (all.rfind("\xEF\xBB\xBF", 0) == 0) all.erase(0, 3);
    int number = 0;
    size_t pos = 0;
    while (pos <= all.size()) {
        size_t nl = all.find('\n', pos);
        if (nl == std::string::npos) nl = all.size();
        std::string text = all.substr(pos, nl - pos);
        pos = nl + 1;
        ++number;
        if (!text.empty() && text.back() == '\r') text.pop_back();
        const size_t first = text.find_first_not_of(" \t");
        if (first == std::string::npos || text[first] == '#') continue;
        Line line{number, text.substr(first), {}};
        if (!Tokenize(line.text, &line.words, error)) {
            *error = Format("line %d: %s", number, error->c_str());
            return false;
        }
        if (!kSteps.count(line.words[0])) {
            *error = Format("line %d: unknown step %s", number, line.words[0].c_str());
            return false;
        }
        lines->push_back(line);
    }
    return true;
}

void EndProgramIfRunning() {
    if (g.Running()) {
        TerminateProcess(g.pi.hProcess, 255);
        WaitForSingleObject(g.pi.hProcess, 5000);
    }
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::wstring logPath, scriptPath;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == L"--exe" && hasValue) g.exe = argv[++i];
        else if (arg == L"--log" && hasValue) logPath = argv[++i];
        else if (arg == L"--timeout" && hasValue) g.timeoutMs = static_cast<DWORD>(_wtoi(argv[++i])) * 1000;
        else if (arg == L"--sync" && hasValue) g.syncDir = argv[++i];
        else if (scriptPath.empty() && arg.rfind(L"--", 0) != 0) scriptPath = arg;
        else {
            fprintf(stderr, "uidriver: unexpected argument %s\n", Narrow(arg).c_str());
            return 2;
        }
    }
    if (logPath.empty() || scriptPath.empty()) {
        fprintf(stderr, "usage: uidriver --exe PROGRAM --log LOGFILE [--timeout SECONDS] [--sync DIR] SCRIPT\n");
        return 2;
    }
    g_log = _wfopen(logPath.c_str(), L"wb");
    if (!g_log) {
        fprintf(stderr, "uidriver: cannot write log %s\n", Narrow(logPath).c_str());
        return 2;
    }
    g_startTick = GetTickCount();

    std::vector<Line> lines;
    std::string error;
    if (!ReadScript(scriptPath, &lines, &error)) {
        Log("script error: " + error);
        Log("RESULT: FAIL");
        return 2;
    }

    int status = 0;
    for (const Line& line : lines) {
        Log(Format("line %d: %s", line.number, line.text.c_str()));
        try {
            kSteps.at(line.words[0])(Args(line.words.begin() + 1, line.words.end()));
        } catch (const StepFailed& f) {
            Log("  FAIL: " + f.why);
            if (g.Running()) {
                Log("  what the program shows:");
                try {
                    StepDump({});
                } catch (const StepFailed&) {
                }
            }
            status = 1;
            break;
        }
    }
    if (status == 0 && g.Running()) {
        Log("FAIL: the script ended with the program still running");
        status = 1;
    }
    EndProgramIfRunning();
    Log(status == 0 ? "RESULT: PASS" : "RESULT: FAIL");
    fclose(g_log);
    return status;
}
