// Stand-in for the parts of the class library's form framework that the
// program uses: an application object with a message loop and the standard
// error box, a form built from a form resource, and the list box, button,
// label and timer components.
//
// Ownership: the application object owns every form it creates; a form owns
// its components and its native window. Component fields and handlers are
// bound from the form resource (see TFormResource), never by hand.
//
// What both implementations share (building a form from its resource,
// scaling, the error box's text and title, keeping exceptions away from the
// window system) lives in common/Forms.cpp; the native windows and the
// message loop are per platform (win32/Forms_win32.cpp, sim/Forms_sim.cpp).
#pragma once

#include "platform/SysUtils.h"
#include "platform/WinApi.h"

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

class TForm;
class TControl;

class TObject {
public:
    TObject() = default;
    TObject(const TObject&) = delete;
    TObject& operator=(const TObject&) = delete;
    virtual ~TObject() = default;
};

using TNotifyEvent = std::function<void(TObject* sender)>;

enum TBorderStyle { bsDialog };
enum TModalResult { mrNone = 0, mrOk = 1, mrCancel = 2 };
using TColor = std::int32_t;
// System colours are negative, as in the class library: -(0x80000000 | index).
inline constexpr TColor clBtnFace = static_cast<TColor>(0x8000000Fu);
inline constexpr TColor clWindowText = static_cast<TColor>(0x80000008u);
inline constexpr unsigned DEFAULT_CHARSET_VALUE = 1;

class TComponent : public TObject {
public:
    std::string Name;
};

class TControl : public TComponent {
public:
    // Bounds in pixels of the running display, relative to the form's client
    // area; the form resource gives them at 96 pixels per inch.
    int Left = 0, Top = 0, Width = 0, Height = 0;
    int TabOrder = -1;  // -1: not a tab stop
    std::string Caption;
    int ControlId = 0;
    HWND Handle = nullptr;
};

class TListBox : public TControl {
public:
    int ItemHeight = 13;
    bool MultiSelect = false;
    // Raised for every change of the selection, by mouse or by keyboard.
    TNotifyEvent OnClick;

    void AddItem(const std::string& text);  // a new last line
    int Count() const;
    void SelectAll();
};

class TButton : public TControl {
public:
    bool Cancel = false;  // Esc presses it
    TModalResult ModalResult = mrNone;
    TNotifyEvent OnClick;
};

class TLabel : public TControl {
public:
    // Sizes itself to its caption, so that the text is never cut off.
    bool AutoSize = true;
};

class TTimer : public TComponent {
public:
    unsigned Interval = 1000;
    TNotifyEvent OnTimer;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);

    TForm* Owner = nullptr;
    unsigned TimerId = 0;

private:
    friend class TForm;
    bool enabled_ = true;
};

struct TFontSpec {
    const char* Name = "MS Sans Serif";
    int Height = -11;
    unsigned Charset = DEFAULT_CHARSET_VALUE;
    TColor Color = clWindowText;
};

// The form's own entries of a form resource, in pixels at 96 pixels per inch.
struct TFormProps {
    const char* Name = "";
    const char* Caption = "";
    int Left = 0, Top = 0;
    int ClientWidth = 0, ClientHeight = 0;
    TBorderStyle BorderStyle = bsDialog;
    TColor Color = clBtnFace;
    TFontSpec Font;
};

// One component's entries of a form resource. Entries that do not apply to
// the component's class are left at their defaults.
struct TComponentProps {
    const char* Name = "";
    int Left = 0, Top = 0, Width = 0, Height = 0;
    const char* Caption = "";
    int TabOrder = -1;
    int ItemHeight = 13;
    bool MultiSelect = false;
    bool Cancel = false;
    TModalResult ModalResult = mrNone;
    unsigned Interval = 1000;
    bool Enabled = true;
};

// A form resource: the layout and the event bindings of form class F as data.
// The field pointer tells which component class to create.
template <class F>
struct TComponentEntry {
    std::variant<TListBox* F::*, TButton* F::*, TLabel* F::*, TTimer* F::*> Field;
    TComponentProps Props;
    void (F::*OnClick)(TObject*) = nullptr;
    void (F::*OnTimer)(TObject*) = nullptr;
};

template <class F>
struct TFormResource {
    TFormProps Form;
    std::vector<TComponentEntry<F>> Components;  // in declaration order
};

class TForm : public TComponent {
public:
    TForm();
    ~TForm() override;
    TForm(const TForm&) = delete;
    TForm& operator=(const TForm&) = delete;

    std::string Caption;
    // Outer top-left corner and client size, scaled to the running display.
    int Left = 0, Top = 0, ClientWidth = 0, ClientHeight = 0;
    TBorderStyle BorderStyle = bsDialog;
    TColor Color = clBtnFace;
    TFontSpec Font;
    HWND Handle = nullptr;

    // Asks for the form to close. For the main form this is a termination
    // request: the running handler goes on to its end, and the message loop
    // ends when control is back in it.
    void Close();
    void Show();

    const std::vector<std::unique_ptr<TComponent>>& Components() const { return components_; }

protected:
    // Builds the components of form resource res into this form, binds fields
    // and handlers, and creates the native window.
    template <class F>
    void LoadFromResource(const TFormResource<F>& res);

private:
    TComponent* AddComponent(int kind, const TComponentProps& props);
    void ApplyFormProps(const TFormProps& props);
    void CreateHandles();     // per platform
    void DestroyHandles();    // per platform
    void StartTimer(TTimer& timer);  // per platform
    void StopTimer(TTimer& timer);   // per platform
    friend class TTimer;

    std::vector<std::unique_ptr<TComponent>> components_;
};

class TApplication : public TComponent {
public:
    TApplication();
    ~TApplication() override;
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;

    void Initialize();

    // Creates a form of class F, owned by the application; the first form
    // created becomes the main form.
    template <class F>
    void CreateForm(F*& reference) {
        auto form = std::make_unique<F>();
        reference = form.get();
        AdoptForm(std::move(form));
    }

    // The message loop: shows the main form and runs until the main form
    // closes or termination is requested.
    void Run();
    void Terminate() { terminated_ = true; }
    bool Terminated() const { return terminated_; }

    TForm* MainForm() const { return mainForm_; }

    // Modal box owned by the application: by the main form while its window
    // exists (which then takes no input), else by no window. Returns the
    // button pressed.
    int MessageBox(const std::string& text, const std::string& caption, unsigned flags);

    // The standard error box: the message, with "." added when it is not
    // empty and its last character's code is above that of "."; the
    // application title as caption; an error icon and an OK button.
    void ShowException(const Exception& e);

    // The executable's file name up to its first ".", every character after
    // the first in lower case.
    std::string Title() const;

    // Runs an event handler where control returns to the window system: an
    // exception it raises is kept and shown by the message loop, so that it
    // never unwinds through the system's own frames.
    void RunHandler(const TNotifyEvent& handler, TObject* sender) noexcept;
    void ShowPendingExceptions();
    // Shows any exception: an Exception as it is, anything else as an
    // Exception with an empty message.
    void ShowAnyException(std::exception_ptr error);

private:
    void AdoptForm(std::unique_ptr<TForm> form);

    std::vector<std::unique_ptr<TForm>> forms_;
    TForm* mainForm_ = nullptr;
    bool terminated_ = false;
    std::vector<std::exception_ptr> pending_;
};

// The one application object while the program runs (set by RunProgram).
extern TApplication* Application;

// Defined by the program: its entry, run with the application object in place.
int ApplicationMain();

// The process entry of both platforms: makes the application object, runs
// ApplicationMain, destroys every form and the application object, and
// returns ApplicationMain's result.
int RunProgram();

namespace forms_detail {
// The component classes in the order of TComponentEntry::Field's
// alternatives: the alternative held tells which class to create.
enum Kind { ListBoxKind, ButtonKind, LabelKind, TimerKind };
}

template <class F>
void TForm::LoadFromResource(const TFormResource<F>& res) {
    static_assert(std::is_base_of_v<TForm, F>);
    F& self = static_cast<F&>(*this);
    ApplyFormProps(res.Form);
    for (const TComponentEntry<F>& entry : res.Components) {
        TComponent* component = AddComponent(static_cast<int>(entry.Field.index()), entry.Props);
        std::visit(
            [&](auto field) {
                using Pointer = std::remove_reference_t<decltype(self.*field)>;
                self.*field = static_cast<Pointer>(component);
            },
            entry.Field);
        if (entry.OnClick) {
            TNotifyEvent handler = [&self, method = entry.OnClick](TObject* sender) { (self.*method)(sender); };
            if (auto* list = dynamic_cast<TListBox*>(component)) list->OnClick = handler;
            if (auto* button = dynamic_cast<TButton*>(component)) button->OnClick = handler;
        }
        if (entry.OnTimer) {
            if (auto* timer = dynamic_cast<TTimer*>(component))
                timer->OnTimer = [&self, method = entry.OnTimer](TObject* sender) { (self.*method)(sender); };
        }
    }
    CreateHandles();
}
