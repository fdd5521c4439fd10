// The form framework over Win32: a top-level window per form, a child
// control per component, a message loop with the dialog manager's keys.
#include "platform/win32/WinInclude.h"

#include <commctrl.h>

#include "platform/Forms.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

const char* const FontProperty = "QMUninstallKeysOnly.Font";
const char* const FormClassName = "TQMForm";

TForm* FormOf(HWND window) { return reinterpret_cast<TForm*>(::GetWindowLongPtrA(window, GWLP_USERDATA)); }

template <class T>
T* ComponentWhere(TForm& form, auto predicate) {
    for (const auto& component : form.Components())
        if (auto* typed = dynamic_cast<T*>(component.get()); typed && predicate(*typed)) return typed;
    return nullptr;
}

// Every way into the program from Windows goes through here: Application's
// RunHandler keeps any exception, and the message loop shows it.
LRESULT OnCommand(TForm& form, int id, int code) {
    // Enter sends IDOK, which no control carries: it starts nothing.
    if (id == IDOK) return 0;
    if (auto* button = ComponentWhere<TButton>(form, [&](const TButton& b) { return b.ControlId == id; })) {
        if (code == BN_CLICKED) Application->RunHandler(button->OnClick, button);
        return 0;
    }
    if (auto* list = ComponentWhere<TListBox>(form, [&](const TListBox& l) { return l.ControlId == id; })) {
        if (code == LBN_SELCHANGE) Application->RunHandler(list->OnClick, list);
    }
    return 0;
}

LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    TForm* form = FormOf(window);
    if (!form) return ::DefWindowProcA(window, message, wParam, lParam);
    switch (message) {
    case WM_COMMAND: return OnCommand(*form, LOWORD(wParam), HIWORD(wParam));
    case WM_TIMER:
        if (auto* timer = ComponentWhere<TTimer>(*form, [&](const TTimer& t) { return t.TimerId == wParam; }))
            Application->RunHandler(timer->OnTimer, timer);
        return 0;
    case WM_CLOSE:
        // The close box asks, as Close does; the window goes when the
        // message loop ends.
        Application->RunHandler([form](TObject*) { form->Close(); }, form);
        return 0;
    case WM_CTLCOLORSTATIC:
        ::SetBkColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(COLOR_BTNFACE));
        ::SetTextColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(COLOR_WINDOWTEXT));
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    default: return ::DefWindowProcA(window, message, wParam, lParam);
    }
}

void RegisterFormClass(HINSTANCE instance) {
    WNDCLASSEXA existing{};
    existing.cbSize = sizeof existing;
    if (::GetClassInfoExA(instance, FormClassName, &existing)) return;
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = FormProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = FormClassName;
    windowClass.hIcon = static_cast<HICON>(::LoadImageA(instance, "MAINICON", IMAGE_ICON, ::GetSystemMetrics(SM_CXICON),
                                                        ::GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
    windowClass.hIconSm = static_cast<HICON>(::LoadImageA(instance, "MAINICON", IMAGE_ICON,
                                                          ::GetSystemMetrics(SM_CXSMICON),
                                                          ::GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    if (!::RegisterClassExA(&windowClass)) throw Exception("Cannot register the window class");
}

constexpr DWORD DialogStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD DialogExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT | WS_EX_APPWINDOW;

HWND CreateChild(HWND parent, const char* className, const std::string& text, DWORD style, DWORD exStyle,
                 const TControl& control, HFONT font) {
    HWND child = ::CreateWindowExA(exStyle, className, text.c_str(), WS_CHILD | WS_VISIBLE | style, control.Left,
                                   control.Top, control.Width, control.Height, parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.ControlId)),
                                   ::GetModuleHandleA(nullptr), nullptr);
    if (!child) throw Exception("Cannot create the window's controls");
    ::SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return child;
}

// Like the class library's labels, a label takes the size of its caption in
// the font actually used, so that a wider stand-in font never cuts it off.
void AutoSizeLabel(TLabel& label, HFONT font) {
    HDC dc = ::GetDC(label.Handle);
    HGDIOBJ old = ::SelectObject(dc, font);
    SIZE extent{};
    ::GetTextExtentPoint32A(dc, label.Caption.c_str(), static_cast<int>(label.Caption.size()), &extent);
    TEXTMETRICA metrics{};
    ::GetTextMetricsA(dc, &metrics);
    ::SelectObject(dc, old);
    ::ReleaseDC(label.Handle, dc);
    label.Width = extent.cx;
    label.Height = metrics.tmHeight;
    ::SetWindowPos(label.Handle, nullptr, 0, 0, label.Width, label.Height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

void TForm::CreateHandles() {
    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    RegisterFormClass(instance);

    RECT frame{0, 0, ClientWidth, ClientHeight};
    ::AdjustWindowRectEx(&frame, DialogStyle, FALSE, DialogExStyle);
    Handle = ::CreateWindowExA(DialogExStyle, FormClassName, Caption.c_str(), DialogStyle, Left, Top,
                               frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance, this);
    if (!Handle) throw Exception("Cannot create the main window");
    // Some window managers draw other frames than the one asked for: size
    // the frame again until the client area is exactly as designed.
    RECT client{};
    ::GetClientRect(Handle, &client);
    if (client.right != ClientWidth || client.bottom != ClientHeight) {
        RECT outer{};
        ::GetWindowRect(Handle, &outer);
        ::SetWindowPos(Handle, nullptr, 0, 0, (outer.right - outer.left) + ClientWidth - client.right,
                       (outer.bottom - outer.top) + ClientHeight - client.bottom,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    HFONT font = ::CreateFontA(Font.Height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, static_cast<BYTE>(Font.Charset),
                               OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                               Font.Name);
    ::SetPropA(Handle, FontProperty, font);
    ::SendMessageA(Handle, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);

    // Windows' tab order is the order of creation: tab stops by TabOrder,
    // then the rest.
    std::vector<TControl*> controls;
    for (const auto& component : components_)
        if (auto* control = dynamic_cast<TControl*>(component.get())) controls.push_back(control);
    std::stable_sort(controls.begin(), controls.end(), [](const TControl* a, const TControl* b) {
        const unsigned ka = static_cast<unsigned>(a->TabOrder), kb = static_cast<unsigned>(b->TabOrder);
        return ka < kb;  // -1 (no tab stop) sorts last
    });
    for (TControl* control : controls) {
        const DWORD tabStop = control->TabOrder >= 0 ? WS_TABSTOP : 0;
        if (auto* list = dynamic_cast<TListBox*>(control)) {
            const DWORD selection = list->MultiSelect ? LBS_EXTENDEDSEL : 0;
            list->Handle = CreateChild(Handle, "LISTBOX", "",
                                       tabStop | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | selection,
                                       WS_EX_CLIENTEDGE, *list, font);
            ::SendMessageA(list->Handle, LB_SETITEMHEIGHT, 0, MAKELPARAM(list->ItemHeight, 0));
        } else if (auto* button = dynamic_cast<TButton*>(control)) {
            button->Handle = CreateChild(Handle, "BUTTON", button->Caption, tabStop | BS_PUSHBUTTON, 0, *button, font);
        } else if (auto* label = dynamic_cast<TLabel*>(control)) {
            label->Handle = CreateChild(Handle, "STATIC", label->Caption, SS_LEFT | SS_NOPREFIX, 0, *label, font);
            if (label->AutoSize) AutoSizeLabel(*label, font);
        }
    }
    for (const auto& component : components_)
        if (auto* timer = dynamic_cast<TTimer*>(component.get()); timer && timer->Enabled()) StartTimer(*timer);
}

void TForm::DestroyHandles() {
    if (!Handle) return;
    HFONT font = static_cast<HFONT>(::RemovePropA(Handle, FontProperty));
    ::DestroyWindow(Handle);  // its children and timers with it
    if (font) ::DeleteObject(font);
    Handle = nullptr;
    for (const auto& component : components_)
        if (auto* control = dynamic_cast<TControl*>(component.get())) control->Handle = nullptr;
}

void TForm::StartTimer(TTimer& timer) { ::SetTimer(Handle, timer.TimerId, timer.Interval, nullptr); }

void TForm::StopTimer(TTimer& timer) { ::KillTimer(Handle, timer.TimerId); }

void TForm::Show() {
    ::ShowWindow(Handle, SW_SHOWNORMAL);
    ::UpdateWindow(Handle);
    if (HWND first = ::GetNextDlgTabItem(Handle, nullptr, FALSE)) ::SetFocus(first);
}

void TListBox::AddItem(const std::string& text) {
    const LRESULT index = ::SendMessageA(Handle, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (index == LB_ERR || index == LB_ERRSPACE) throw Exception("Unable to insert a line");
}

int TListBox::Count() const { return static_cast<int>(::SendMessageA(Handle, LB_GETCOUNT, 0, 0)); }

void TListBox::SelectAll() {
    // Selection by program raises no LBN_SELCHANGE, so this cannot recurse
    // through OnClick.
    if (MultiSelect) ::SendMessageA(Handle, LB_SETSEL, TRUE, -1);
}

void TApplication::Initialize() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
}

void TApplication::Run() {
    if (!mainForm_) return;
    mainForm_->Show();
    MSG message{};
    while (!terminated_) {
        const BOOL got = ::GetMessageA(&message, nullptr, 0, 0);
        if (got == 0 || got == -1) break;
        // The dialog manager gives the window Tab, Esc (IDCANCEL) and Enter
        // (IDOK) as in a dialog box.
        if (!mainForm_->Handle || !::IsDialogMessageA(mainForm_->Handle, &message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageA(&message);
        }
        ShowPendingExceptions();
    }
    ShowPendingExceptions();
    // The window goes at once; the object with the form goes with the
    // application.
    if (mainForm_->Handle) ::ShowWindow(mainForm_->Handle, SW_HIDE);
}
