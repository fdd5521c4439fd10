// The main window as laid out, how it answers the user, and the error box.
#include "ProgramFixture.h"

#include "UninstallKeysOnlyMainF.h"

#include <algorithm>
#include <new>

namespace {

const sim::ControlSnapshot* Control(const sim::WindowSnapshot& w, const std::string& name) {
    auto found = std::find_if(w.controls.begin(), w.controls.end(), [&](const auto& c) { return c.name == name; });
    return found == w.controls.end() ? nullptr : &*found;
}

TEST_F(ProgramTest, WindowIsLaidOutAsDesignedAt96PixelsPerInch) {
    Register(0, "Quillmar 1");
    Run();
    const sim::WindowSnapshot w = m().MainWindow();
    EXPECT_EQ(w.caption, "Uninstall Keys Only");
    EXPECT_EQ(w.left, 84);
    EXPECT_EQ(w.top, 123);
    EXPECT_EQ(w.clientWidth, 617);
    EXPECT_EQ(w.clientHeight, 222);
    EXPECT_TRUE(w.dialogBorder);
    EXPECT_EQ(w.fontName, "MS Sans Serif");
    EXPECT_EQ(w.fontHeight, -11);

    struct Expected {
        const char* name;
        const char* className;
        const char* text;
        int left, top, width, height, tabOrder;
    };
    const Expected expected[] = {
        {"ListBox", "LISTBOX", "", 8, 40, 601, 137, 0},
        {"DeleteButton", "BUTTON", "Delete", 144, 184, 75, 25, 1},
        {"CancelButton", "BUTTON", "Cancel", 224, 184, 75, 25, 2},
        {"Label1", "STATIC", "Delete the following programs from the Windows registry:", 16, 8, 266, 13, -1},
    };
    ASSERT_EQ(w.controls.size(), std::size(expected));
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.name);
        const sim::ControlSnapshot* c = Control(w, e.name);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->className, e.className);
        EXPECT_EQ(c->text, e.text);
        EXPECT_EQ((std::vector<int>{c->left, c->top, c->width, c->height}),
                  (std::vector<int>{e.left, e.top, e.width, e.height}));
        EXPECT_EQ(c->tabOrder, e.tabOrder);
    }
    EXPECT_TRUE(Control(w, "ListBox")->multiSelect);
    // Esc reaches Cancel as IDCANCEL; Enter sends IDOK, which Delete must not
    // carry.
    EXPECT_EQ(Control(w, "CancelButton")->id, IDCANCEL);
    EXPECT_NE(Control(w, "DeleteButton")->id, IDOK);
}

TEST_F(ProgramTest, WindowScalesWithTheScreenDensity) {
    m().dpi = 144;
    Register(0, "Quillmar 1");
    Run();
    const sim::WindowSnapshot w = m().MainWindow();
    EXPECT_EQ(w.left, 84) << "a position on the screen is not a length";
    EXPECT_EQ(w.clientWidth, 926);  // 617 * 1.5, rounded half away from zero
    EXPECT_EQ(w.clientHeight, 333);
    EXPECT_EQ(w.fontHeight, -17);   // -16.5
    const sim::ControlSnapshot* list = Control(w, "ListBox");
    EXPECT_EQ((std::vector<int>{list->left, list->top, list->width, list->height}),
              (std::vector<int>{12, 60, 902, 206}));
    const sim::ControlSnapshot* del = Control(w, "DeleteButton");
    EXPECT_EQ((std::vector<int>{del->left, del->top, del->width, del->height}),
              (std::vector<int>{216, 276, 113, 38}));
}

TEST_F(ProgramTest, LabelGrowsWithAWiderFont) {
    m().charWidthQuarterPixels = 24;  // 6 pixels a character
    Register(0, "Quillmar 1");
    Run();
    EXPECT_EQ(Control(m().MainWindow(), "Label1")->width, 56 * 6);
}

// Whatever the user does to the list, every line ends up selected again.
TEST_F(ProgramTest, ListCannotBeNarrowed) {
    struct Case {
        const char* label;
        std::vector<sim::Action> actions;
    };
    const Case cases[] = {
        {"click a line", {sim::ClickLine(1)}},
        {"ctrl-click a selected line off", {sim::ClickLine(0, false, true)}},
        {"shift-click a range", {sim::ClickLine(0), sim::ClickLine(1, true)}},
        {"arrow down", {sim::Press(sim::VkDown)}},
        {"shift and arrow", {sim::Press(sim::VkDown, true), sim::Press(sim::VkUp)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        sim::Reset();
        Register(0, "Quillmar 1");
        Register(1, "Quillmar 2");
        Register(2, "Quillmar 3");
        Run(c.actions);
        EXPECT_EQ(Selection(), (std::vector<bool>{true, true, true}));
        EXPECT_TRUE(m().endedWithWindowOpen);
        EXPECT_TRUE(m().boxes.empty());
    }
}

TEST_F(ProgramTest, WaysToClose) {
    struct Case {
        const char* label;
        std::vector<sim::Action> actions;
        bool closes;
    };
    const Case cases[] = {
        {"Cancel", {sim::ClickOn("CancelButton")}, true},
        {"Esc", {sim::Press(sim::VkEscape)}, true},
        {"Esc with the focus on Delete", {sim::Press(sim::VkTab), sim::Press(sim::VkEscape)}, true},
        {"close box", {sim::CloseTheWindow()}, true},
        {"Space on the focused Cancel", {sim::Press(sim::VkTab), sim::Press(sim::VkTab), sim::Press(sim::VkSpace)}, true},
        {"Enter starts nothing", {sim::Press(sim::VkReturn)}, false},
        {"Enter with the focus on Delete starts nothing", {sim::Press(sim::VkTab), sim::Press(sim::VkReturn)}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        sim::Reset();
        Register(0, "Quillmar 1");
        EXPECT_EQ(Run(c.actions), 0);
        EXPECT_EQ(m().endedWithWindowOpen, !c.closes);
        EXPECT_TRUE(m().boxes.empty()) << "closing asks nothing, and Enter must not reach Delete";
        EXPECT_TRUE(m().commands.empty());
    }
}

TEST_F(ProgramTest, ErrorInAHandlerLeavesTheWindowWorking) {
    // The uninstall key is missing: the scan fails, the error is shown, and
    // the window still answers Cancel afterwards.
    Run({sim::WaitFor(100), sim::ClickOn("CancelButton")});
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Missing uninstall key."}));
    EXPECT_FALSE(m().endedWithWindowOpen);
}

// The full stop is added only after a character whose code, as an unsigned
// byte, lies above that of ".".
TEST_F(ProgramTest, ErrorBoxFullStopRule) {
    struct Case {
        const char* label;
        std::string message;
        std::string shown;
    };
    const Case cases[] = {
        {"empty", "", ""},
        {"letter", "Missing uninstall key", "Missing uninstall key."},
        {"already a full stop", "Done.", "Done."},
        {"below: comma", "a,", "a,"},
        {"below: space", "a ", "a "},
        {"below: quote", "for 'x'", "for 'x'"},
        {"above: slash", "a/", "a/."},
        {"above: digit", "Line 12", "Line 12."},
        {"above: e acute in the ANSI code page", "Quillmar \xe9", "Quillmar \xe9."},
        {"above: byte 0xFF", "x\xff", "x\xff."},
        {"line break ends it", "a\n", "a\n"},
    };
    Application = nullptr;
    TApplication application;
    Application = &application;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        m().boxes.clear();
        application.ShowException(Exception(c.message));
        ASSERT_EQ(m().boxes.size(), 1u);
        EXPECT_EQ(m().boxes[0].text, c.shown);
        EXPECT_EQ(m().boxes[0].type, MB_OK | MB_ICONERROR);
        EXPECT_FALSE(m().boxes[0].ownedByMainWindow);
    }
    Application = nullptr;
}

TEST_F(ProgramTest, ApplicationTitleComesFromTheExecutableName) {
    struct Case {
        const char* modulePath;
        const char* title;
    };
    const Case cases[] = {
        {"C:\\Program Files\\Quillmar\\QMUninstallKeysOnly.exe", "Qmuninstallkeysonly"},
        {"C:\\Tools\\qm.Uninstall.Keys.exe", "qm"},  // the first character stays as it is
        {"C:\\Tools.v2\\NoExtension", "Noextension"},
        {"D:\\x\\ABC", "Abc"},
        {"C:\\a\\.hidden.exe", ""},
        {"QMUninstallKeysOnly.EXE", "Qmuninstallkeysonly"},
        {"C:\\a\\\xc9tude.exe", "\xc9tude"},
    };
    TApplication application;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.modulePath);
        m().modulePath = c.modulePath;
        EXPECT_EQ(application.Title(), c.title);
    }
}

TEST_F(ProgramTest, StartUpFailuresAreShownAndTheExitCodeStaysZero) {
    struct Case {
        const char* label;
        std::function<void()> fail;
        std::string shown;
    };
    const Case cases[] = {
        {"class library exception", [] { throw Exception("Cannot create the main window"); },
         "Cannot create the main window."},
        {"located error", [] { throw Exception("x\n Line 3"); }, "x\n Line 3."},
        {"anything else shows an empty box", [] { throw std::bad_alloc(); }, ""},
        {"even a plain value", [] { throw 42; }, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        sim::Reset();
        Register(0, "Quillmar 1");
        m().beforeWindowCreated = c.fail;
        EXPECT_EQ(Run(), 0);
        ASSERT_EQ(m().boxes.size(), 1u);
        EXPECT_EQ(m().boxes[0].text, c.shown);
        EXPECT_EQ(m().boxes[0].caption, "Qmuninstallkeysonly");
        EXPECT_EQ(m().boxes[0].type, MB_OK | MB_ICONERROR);
        EXPECT_FALSE(m().boxes[0].ownedByMainWindow) << "no window exists to own it";
        EXPECT_EQ(m().timerTicks, 0);
    }
}

}  // namespace
