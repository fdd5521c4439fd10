#include "platform/Forms.h"

#include <algorithm>
#include <cctype>

TApplication* Application = nullptr;

namespace {

// Lengths in a form resource are designed at 96 pixels per inch; like the
// class library, forms are scaled to the screen's density when created.
int Scale(int designed, int dpi) {
    return static_cast<int>((static_cast<long long>(designed) * dpi + (designed >= 0 ? 48 : -48)) / 96);
}

}  // namespace

TForm::TForm() = default;

TForm::~TForm() { DestroyHandles(); }

void TForm::ApplyFormProps(const TFormProps& props) {
    const int dpi = win::GetSystemDpi();
    Name = props.Name;
    Caption = props.Caption;
    Left = props.Left;  // a screen position, not a length: never scaled
    Top = props.Top;
    ClientWidth = Scale(props.ClientWidth, dpi);
    ClientHeight = Scale(props.ClientHeight, dpi);
    BorderStyle = props.BorderStyle;
    Color = props.Color;
    Font = props.Font;
    Font.Height = Scale(props.Font.Height, dpi);
}

TComponent* TForm::AddComponent(int kind, const TComponentProps& props) {
    const int dpi = win::GetSystemDpi();
    std::unique_ptr<TComponent> component;
    TControl* control = nullptr;
    switch (kind) {
    case forms_detail::ListBoxKind: {
        auto list = std::make_unique<TListBox>();
        list->ItemHeight = Scale(props.ItemHeight, dpi);
        list->MultiSelect = props.MultiSelect;
        control = list.get();
        component = std::move(list);
        break;
    }
    case forms_detail::ButtonKind: {
        auto button = std::make_unique<TButton>();
        button->Cancel = props.Cancel;
        button->ModalResult = props.ModalResult;
        control = button.get();
        component = std::move(button);
        break;
    }
    case forms_detail::LabelKind: {
        auto label = std::make_unique<TLabel>();
        control = label.get();
        component = std::move(label);
        break;
    }
    default: {
        auto timer = std::make_unique<TTimer>();
        timer->Interval = props.Interval;
        timer->enabled_ = props.Enabled;
        timer->Owner = this;
        timer->TimerId = static_cast<unsigned>(components_.size() + 1);
        component = std::move(timer);
        break;
    }
    }
    if (control) {
        control->Left = Scale(props.Left, dpi);
        control->Top = Scale(props.Top, dpi);
        control->Width = Scale(props.Width, dpi);
        control->Height = Scale(props.Height, dpi);
        control->TabOrder = props.TabOrder;
        control->Caption = props.Caption;
        // Esc presses the Cancel button because the dialog manager sends
        // IDCANCEL; Enter sends IDOK, which no control carries, so that it
        // starts nothing.
        control->ControlId = props.Cancel ? IDCANCEL : static_cast<int>(100 + components_.size());
    }
    component->Name = props.Name;
    components_.push_back(std::move(component));
    return components_.back().get();
}

void TForm::Close() {
    // Only the main form exists in this program; closing it ends the run.
    if (Application && Application->MainForm() == this) Application->Terminate();
}

void TTimer::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    if (!Owner || !Owner->Handle) return;  // started with the form's window
    if (enabled)
        Owner->StartTimer(*this);
    else
        Owner->StopTimer(*this);
}

TApplication::TApplication() = default;

TApplication::~TApplication() {
    // Forms go in reverse order of creation, the main form last.
    while (!forms_.empty()) forms_.pop_back();
}

void TApplication::AdoptForm(std::unique_ptr<TForm> form) {
    if (!mainForm_) mainForm_ = form.get();
    forms_.push_back(std::move(form));
}

int TApplication::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    HWND owner = (mainForm_ && mainForm_->Handle) ? mainForm_->Handle : nullptr;
    // An empty caption must reach Windows as "", never as a null pointer,
    // which it would show as "Error".
    return win::MessageBoxA(owner, text.c_str(), caption.c_str(), flags);
}

void TApplication::ShowException(const Exception& e) {
    std::string text = e.Message;
    // Compared as unsigned bytes: a trailing letter such as "é" in the ANSI
    // code page lies above "." too.
    if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.')) text += '.';
    MessageBox(text, Title(), MB_OK | MB_ICONERROR);
}

std::string TApplication::Title() const {
    char buffer[MAX_PATH + 1] = {};
    const unsigned length = win::GetModuleFileNameA(buffer, sizeof buffer);
    std::string title(buffer, std::min<unsigned>(length, MAX_PATH));
    const auto slash = title.find_last_of("\\/");
    if (slash != std::string::npos) title.erase(0, slash + 1);
    const auto dot = title.find('.');
    if (dot != std::string::npos) title.erase(dot);
    for (std::size_t i = 1; i < title.size(); ++i) {
        const auto c = static_cast<unsigned char>(title[i]);
        if (c < 0x80) title[i] = static_cast<char>(std::tolower(c));
    }
    return title;
}

void TApplication::RunHandler(const TNotifyEvent& handler, TObject* sender) noexcept {
    if (!handler) return;
    try {
        handler(sender);
    } catch (...) {
        try {
            pending_.push_back(std::current_exception());
        } catch (...) {
            // Out of memory while keeping the error: it cannot be shown, but
            // it must still not escape into the window system.
        }
    }
}

void TApplication::ShowPendingExceptions() {
    while (!pending_.empty()) {
        std::exception_ptr error = pending_.front();
        pending_.erase(pending_.begin());
        ShowAnyException(error);
    }
}

void TApplication::ShowAnyException(std::exception_ptr error) {
    try {
        std::rethrow_exception(std::move(error));
    } catch (const Exception& e) {
        ShowException(e);
    } catch (...) {
        ShowException(Exception(""));
    }
}

int RunProgram() {
    TApplication application;
    Application = &application;
    int result = ApplicationMain();
    // Windows go before the object that owns them is out of reach.
    Application = nullptr;
    return result;
}
