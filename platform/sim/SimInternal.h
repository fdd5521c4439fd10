// What the simulated win:: calls and the simulated form framework share.
#pragma once

#include "platform/Forms.h"
#include "platform/sim/SimWindows.h"

#include <list>

namespace sim {

// A native window of the simulated machine; an HWND points at one.
struct Window {
    std::string className;
    TComponent* component = nullptr;
    Window* parent = nullptr;
    bool enabled = true;
    bool visible = false;
    std::vector<std::string> items;  // list box
    std::vector<bool> selected;
    int caret = 0, anchor = 0;
};

struct Timer {
    Window* window = nullptr;
    TTimer* timer = nullptr;
    std::uint64_t due = 0;
};

struct Windowing {
    std::list<Window> windows;
    std::vector<Timer> timers;
    Window* mainWindow = nullptr;
    Window* focus = nullptr;
};

Windowing& W();
Window* FromHandle(HWND handle);
HWND ToHandle(Window* window);
WindowSnapshot Snapshot(const Window& form);

}  // namespace sim
