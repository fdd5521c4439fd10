// The form framework over the simulated machine: windows are records, the
// message loop performs the user's script and delivers timer ticks.
#include "platform/Forms.h"
#include "platform/sim/SimInternal.h"

#include <algorithm>
#include <cstdlib>

namespace sim {

Window* FromHandle(HWND handle) {
    for (Window& window : W().windows)
        if (reinterpret_cast<HWND>(&window) == handle) return &window;
    return nullptr;
}

HWND ToHandle(Window* window) { return reinterpret_cast<HWND>(window); }

WindowSnapshot Snapshot(const Window& formWindow) {
    WindowSnapshot shot;
    const auto* form = static_cast<const TForm*>(formWindow.component);
    shot.caption = form->Caption;
    shot.left = form->Left;
    shot.top = form->Top;
    shot.clientWidth = form->ClientWidth;
    shot.clientHeight = form->ClientHeight;
    shot.dialogBorder = form->BorderStyle == bsDialog;
    shot.fontName = form->Font.Name;
    shot.fontHeight = form->Font.Height;
    for (const Window& window : W().windows) {
        if (window.parent != &formWindow) continue;
        const auto* control = static_cast<const TControl*>(window.component);
        ControlSnapshot c;
        c.name = control->Name;
        c.className = window.className;
        c.text = control->Caption;
        c.id = control->ControlId;
        c.left = control->Left;
        c.top = control->Top;
        c.width = control->Width;
        c.height = control->Height;
        c.tabOrder = control->TabOrder;
        if (const auto* list = dynamic_cast<const TListBox*>(control)) {
            c.multiSelect = list->MultiSelect;
            shot.listLines = window.items;
            shot.listSelected = window.selected;
        }
        shot.controls.push_back(c);
    }
    for (const auto& component : form->Components())
        if (const auto* timer = dynamic_cast<const TTimer*>(component.get())) shot.timerEnabled = timer->Enabled();
    return shot;
}

namespace {

Window* WindowOf(const TControl* control) { return FromHandle(control->Handle); }

TControl* ControlByName(TForm& form, const std::string& name) {
    for (const auto& component : form.Components())
        if (component->Name == name) return dynamic_cast<TControl*>(component.get());
    return nullptr;
}

TControl* ControlById(TForm& form, int id) {
    for (const auto& component : form.Components())
        if (auto* control = dynamic_cast<TControl*>(component.get()); control && control->ControlId == id) return control;
    return nullptr;
}

// What the window system does when a control is "clicked": buttons notify
// their parent, which runs the handler bound to them.
void PressButton(TControl* control) {
    auto* button = dynamic_cast<TButton*>(control);
    if (!button || !WindowOf(button)->enabled) return;
    Application->RunHandler(button->OnClick, button);
}

// The dialog manager's WM_COMMAND for Esc (IDCANCEL) and Enter (IDOK): it
// goes to whichever control carries that id, if any.
void DialogCommand(TForm& form, int id) { PressButton(ControlById(form, id)); }

void SelectionChanged(TListBox* list) { Application->RunHandler(list->OnClick, list); }

void ClickListLine(TListBox* list, const Action& action) {
    Window* window = WindowOf(list);
    const int count = static_cast<int>(window->items.size());
    if (action.index < 0 || action.index >= count) return;
    if (action.ctrl) {
        window->selected[action.index] = !window->selected[action.index];
        window->anchor = action.index;
    } else if (action.shift) {
        std::fill(window->selected.begin(), window->selected.end(), false);
        for (int i = std::min(window->anchor, action.index); i <= std::max(window->anchor, action.index); ++i)
            window->selected[i] = true;
    } else {
        std::fill(window->selected.begin(), window->selected.end(), false);
        window->selected[action.index] = true;
        window->anchor = action.index;
    }
    window->caret = action.index;
    SelectionChanged(list);
}

void MoveListCaret(TListBox* list, int step, bool shift) {
    Window* window = WindowOf(list);
    const int count = static_cast<int>(window->items.size());
    if (count == 0) return;
    window->caret = std::clamp(window->caret + step, 0, count - 1);
    Action click;
    click.index = window->caret;
    click.shift = shift;
    ClickListLine(list, click);
}

void MoveFocus(TForm& form, bool backwards) {
    std::vector<TControl*> stops;
    for (const auto& component : form.Components())
        if (auto* control = dynamic_cast<TControl*>(component.get()); control && control->TabOrder >= 0)
            stops.push_back(control);
    if (stops.empty()) return;
    std::sort(stops.begin(), stops.end(), [](auto* a, auto* b) { return a->TabOrder < b->TabOrder; });
    auto current = std::find_if(stops.begin(), stops.end(), [](auto* c) { return WindowOf(c) == W().focus; });
    std::ptrdiff_t index = current == stops.end() ? 0 : current - stops.begin();
    const auto n = static_cast<std::ptrdiff_t>(stops.size());
    index = (index + (backwards ? n - 1 : 1)) % n;
    W().focus = WindowOf(stops[static_cast<std::size_t>(index)]);
}

void PressKey(TForm& form, const Action& action) {
    TComponent* focused = W().focus ? W().focus->component : nullptr;
    switch (action.virtualKey) {
    case VkEscape: DialogCommand(form, IDCANCEL); break;
    case VkReturn: DialogCommand(form, IDOK); break;
    case VkTab: MoveFocus(form, action.shift); break;
    case VkSpace: PressButton(dynamic_cast<TControl*>(focused)); break;
    case VkDown:
    case VkUp:
        if (auto* list = dynamic_cast<TListBox*>(focused)) MoveListCaret(list, action.virtualKey == VkDown ? 1 : -1, action.shift);
        break;
    default: break;
    }
}

void Perform(TForm& form, const Action& action) {
    if (action.kind == Action::Meanwhile) {
        action.change();
        return;
    }
    if (!W().mainWindow || !W().mainWindow->enabled) return;
    switch (action.kind) {
    case Action::Click: {
        TControl* control = ControlByName(form, action.control);
        if (control) W().focus = WindowOf(control);
        PressButton(control);
        break;
    }
    case Action::ClickItem:
        if (auto* list = dynamic_cast<TListBox*>(ControlByName(form, "ListBox"))) {
            W().focus = WindowOf(list);
            ClickListLine(list, action);
        }
        break;
    case Action::Key: PressKey(form, action); break;
    case Action::CloseBox: Application->RunHandler([&form](TObject*) { form.Close(); }, &form); break;
    case Action::Wait:
    case Action::Meanwhile: break;
    }
}

// A form with no more script: how long the user is thought to watch it
// before walking away, so that a timer that never stops cannot spin forever.
constexpr std::uint64_t IdleWatchMilliseconds = 1000;

Timer* EarliestTimer() {
    Timer* earliest = nullptr;
    for (Timer& timer : W().timers)
        if (!earliest || timer.due < earliest->due) earliest = &timer;
    return earliest;
}

}  // namespace
}  // namespace sim

using namespace sim;

void TForm::CreateHandles() {
    if (M().beforeWindowCreated) M().beforeWindowCreated();
    Window& formWindow = W().windows.emplace_back();
    formWindow.className = "TForm";
    formWindow.component = this;
    Handle = ToHandle(&formWindow);
    for (const auto& component : components_) {
        if (auto* control = dynamic_cast<TControl*>(component.get())) {
            Window& window = W().windows.emplace_back();
            window.parent = &formWindow;
            window.component = control;
            window.visible = true;
            if (dynamic_cast<TListBox*>(control)) window.className = "LISTBOX";
            if (dynamic_cast<TButton*>(control)) window.className = "BUTTON";
            if (auto* label = dynamic_cast<TLabel*>(control)) {
                window.className = "STATIC";
                if (label->AutoSize) {
                    const int chars = static_cast<int>(label->Caption.size());
                    label->Width = (chars * M().charWidthQuarterPixels * M().dpi / 96 + 3) / 4;
                    label->Height = std::abs(Font.Height) + 2 * M().dpi / 96;
                }
            }
            control->Handle = ToHandle(&window);
        }
    }
    if (!W().mainWindow) W().mainWindow = &formWindow;
    for (const auto& component : components_)
        if (auto* timer = dynamic_cast<TTimer*>(component.get()); timer && timer->Enabled()) StartTimer(*timer);
}

void TForm::DestroyHandles() {
    if (!Handle) return;
    Window* formWindow = FromHandle(Handle);
    if (formWindow == W().mainWindow) {
        M().lastMainWindow = Snapshot(*formWindow);
        W().mainWindow = nullptr;
    }
    W().timers.erase(std::remove_if(W().timers.begin(), W().timers.end(),
                                    [&](const Timer& t) { return t.window == formWindow; }),
                     W().timers.end());
    W().windows.remove_if([&](const Window& w) { return w.parent == formWindow; });
    W().windows.remove_if([&](const Window& w) { return &w == formWindow; });
    W().focus = nullptr;
    Handle = nullptr;
}

void TForm::StartTimer(TTimer& timer) {
    StopTimer(timer);
    W().timers.push_back({FromHandle(Handle), &timer, M().now + timer.Interval});
}

void TForm::StopTimer(TTimer& timer) {
    W().timers.erase(std::remove_if(W().timers.begin(), W().timers.end(), [&](const Timer& t) { return t.timer == &timer; }),
                     W().timers.end());
}

void TForm::Show() {
    Window* window = FromHandle(Handle);
    window->visible = true;
    for (const auto& component : components_)
        if (auto* control = dynamic_cast<TControl*>(component.get()); control && control->TabOrder == 0)
            W().focus = FromHandle(control->Handle);
}

void TListBox::AddItem(const std::string& text) {
    Window* window = FromHandle(Handle);
    window->items.push_back(text);
    window->selected.push_back(false);
}

int TListBox::Count() const { return static_cast<int>(FromHandle(Handle)->items.size()); }

void TListBox::SelectAll() {
    Window* window = FromHandle(Handle);
    std::fill(window->selected.begin(), window->selected.end(), MultiSelect);
}

void TApplication::Initialize() {}

void TApplication::Run() {
    if (!mainForm_) return;
    mainForm_->Show();
    Machine& m = M();
    m.now = 0;
    while (!terminated_) {
        ShowPendingExceptions();
        if (terminated_) break;
        const Action* next = m.actions.empty() ? nullptr : &m.actions.front();
        const std::uint64_t nextTime = m.now + (next ? next->milliseconds : IdleWatchMilliseconds);
        if (Timer* timer = EarliestTimer(); timer && timer->due <= nextTime) {
            m.now = timer->due;
            timer->due += std::max(1u, timer->timer->Interval);
            ++m.timerTicks;
            TTimer* component = timer->timer;
            RunHandler(component->OnTimer, component);
            continue;
        }
        if (!next) {
            m.now = nextTime;
            m.endedWithWindowOpen = true;
            break;
        }
        const Action action = *next;
        m.actions.erase(m.actions.begin());
        m.now = nextTime;
        Perform(*mainForm_, action);
    }
    ShowPendingExceptions();
}
