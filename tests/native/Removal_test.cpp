// Delete, as the user meets it: the warning, the clean-up commands, and the
// box that tells how it went.
#include "ProgramFixture.h"
#include "SourceLine.h"

#include <functional>

namespace {

const char* const Warning = "Korvath takes no responsibility for this potentially damaging decision.\n"
                            "Would you like to proceed?";
const char* const Done = "Done with removal.\nPlease restart your computer.";
const char* const Stopped = "Removal stopped: Quillmar's settings file records no installation directory.\n"
                            "Releases not removed yet are still registered.";
const char* const ToolNotRun = "The clean-up tool msizap could not be run.\n"
                               "Releases it could not reach are still registered.";
const char* const Cmd = "C:\\WINDOWS\\system32\\cmd.exe";
const char* const Settings = "[Program]\r\nDirectory=C:\\Program Files\\Quillmar\r\n";

std::string CommandFor(int release, const std::string& interpreter = Cmd) {
    return "\"" + interpreter + "\" /c msizap TW " + ProductCodes[release];
}

struct Box {
    std::string text, caption;
    unsigned type;
    bool operator==(const Box&) const = default;
};

void PrintTo(const Box& b, std::ostream* os) { *os << "[" << b.caption << "] " << b.text << " (" << b.type << ")"; }

struct RemovalCase {
    const char* label;
    std::function<void(ProgramTest&)> arrange;  // three releases (1, 4, 6) and settings are there already
    std::vector<sim::Action> actions;           // Delete is pressed last
    std::vector<int> answers;
    std::vector<std::string> commands;
    std::vector<Box> boxesAfterWarning;
    bool windowStaysOpen;
};

void PrintTo(const RemovalCase& c, std::ostream* os) { *os << c.label; }

class RemovalTest : public ProgramTest, public ::testing::WithParamInterface<RemovalCase> {};

TEST_P(RemovalTest, RunsTheCleanUpToolForEveryRegisteredRelease) {
    const RemovalCase& c = GetParam();
    Register(1, "Quillmar 2");
    Register(4, "Quillmar 5");
    Register(6, "Quillmar 7");
    WriteSettings(Settings);
    c.arrange(*this);
    std::vector<sim::Action> actions = c.actions;
    actions.push_back(sim::ClickOn("DeleteButton"));
    EXPECT_EQ(Run(actions, c.answers), 0);

    ASSERT_GE(m().boxes.size(), 1u);
    EXPECT_EQ((Box{m().boxes[0].text, m().boxes[0].caption, m().boxes[0].type}), (Box{Warning, "Warning", MB_YESNO}));
    std::vector<Box> after;
    for (std::size_t i = 1; i < m().boxes.size(); ++i) after.push_back({m().boxes[i].text, m().boxes[i].caption, m().boxes[i].type});
    EXPECT_EQ(after, c.boxesAfterWarning);
    EXPECT_EQ(CommandLines(), c.commands);
    EXPECT_EQ(m().endedWithWindowOpen, c.windowStaysOpen);
    for (const auto& box : m().boxes) EXPECT_FALSE(box.captionWasNull);
}

const std::vector<int> Yes = {IDYES, IDOK};

std::function<void(ProgramTest&)> Nothing() {
    return [](ProgramTest&) {};
}

// The tool's outcome for each started command, in order; past the end, 0.
std::function<void(ProgramTest&)> Outcomes(std::vector<sim::CommandOutcome> outcomes) {
    return [outcomes](ProgramTest& t) {
        t.m().outcomeFor = [outcomes, n = std::size_t{0}](const sim::Command&) mutable {
            return n < outcomes.size() ? outcomes[n++] : sim::CommandOutcome{0u};
        };
    };
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RemovalTest,
    ::testing::Values(
        RemovalCase{"ThreeRegistered", Nothing(), {}, Yes, {CommandFor(1), CommandFor(4), CommandFor(6)},
                    {{Done, "", MB_OK}}, false},
        RemovalCase{"AnswerNo", Nothing(), {}, {IDNO}, {}, {}, true},
        RemovalCase{"SelectionNarrowedChangesNothing", Nothing(), {sim::ClickLine(1), sim::ClickLine(2, false, true)},
                    Yes, {CommandFor(1), CommandFor(4), CommandFor(6)}, {{Done, "", MB_OK}}, false},
        RemovalCase{"NoneRegisteredAnyMore", Nothing(),
                    {sim::Meanwhile([] {
                        for (int i : {1, 4, 6}) sim::M().DeleteKey(ProgramTest::ReleaseKey(i));
                    })},
                    Yes, {}, {{Done, "", MB_OK}}, false},
        RemovalCase{"ReleaseRegisteredAfterTheScanIsRemovedToo", Nothing(),
                    {sim::Meanwhile([] { sim::M().AddKey(ProgramTest::ReleaseKey(0)); })}, Yes,
                    {CommandFor(0), CommandFor(1), CommandFor(4), CommandFor(6)}, {{Done, "", MB_OK}}, false},
        RemovalCase{"DirectoryMissingAtTheFirst",
                    [](ProgramTest& t) { t.WriteSettings("[Program]\r\nVersion=7\r\n"); }, {}, Yes, {},
                    {{Stopped, "Warning!", MB_OK}}, false},
        RemovalCase{"DirectoryEmptyAtTheFirst", [](ProgramTest& t) { t.WriteSettings("[Program]\r\nDirectory=\r\n"); },
                    {}, Yes, {}, {{Stopped, "Warning!", MB_OK}}, false},
        RemovalCase{"DirectoryGoneAtALaterRelease",
                    [](ProgramTest& t) {
                        t.m().outcomeFor = [](const sim::Command&) {
                            sim::M().files["C:\\WINDOWS\\qm.ini"] = "[Program]\r\n";
                            return sim::CommandOutcome{0u};
                        };
                    },
                    {}, Yes, {CommandFor(1)}, {{Stopped, "Warning!", MB_OK}}, false},
        RemovalCase{"SettingsFileAbsent", [](ProgramTest& t) { t.m().files.erase("C:\\WINDOWS\\qm.ini"); }, {}, Yes, {},
                    {{Stopped, "Warning!", MB_OK}}, false},
        RemovalCase{"DirectoryInAnotherSection", [](ProgramTest& t) { t.WriteSettings("[Paths]\r\nDirectory=C:\\Q\r\n"); },
                    {}, Yes, {}, {{Stopped, "Warning!", MB_OK}}, false},
        RemovalCase{"UninstallKeyGoneIsSilent", Nothing(),
                    {sim::Meanwhile([] { sim::M().DeleteKey(UninstallKeyPath); })}, Yes, {}, {{Done, "", MB_OK}}, false},
        RemovalCase{"UninstallKeyNoLongerFullyOpenable", Nothing(),
                    {sim::Meanwhile([] { sim::M().FindKey(UninstallKeyPath)->rights = sim::Rights::ReadOnly; })}, Yes,
                    {}, {{"Missing uninstall key.", "Qmuninstallkeysonly", MB_OK | MB_ICONERROR}}, true},
        RemovalCase{"ToolFailingGoesOn", Outcomes({1u, 0xC0000005u, 2u}), {}, Yes,
                    {CommandFor(1), CommandFor(4), CommandFor(6)}, {{Done, "", MB_OK}}, false},
        RemovalCase{"ToolMissingForOne", Outcomes({0u, 9009u, 0u}), {}, Yes,
                    {CommandFor(1), CommandFor(4), CommandFor(6)}, {{ToolNotRun, "Warning!", MB_OK}}, false},
        RemovalCase{"ToolMissingForAll", Outcomes({9009u, 9009u, 9009u}), {}, Yes,
                    {CommandFor(1), CommandFor(4), CommandFor(6)}, {{ToolNotRun, "Warning!", MB_OK}}, false},
        RemovalCase{"InterpreterNotStartedForOne", Outcomes({0u, std::nullopt, 0u}), {}, Yes,
                    {CommandFor(1), CommandFor(4), CommandFor(6)}, {{ToolNotRun, "Warning!", MB_OK}}, false},
        RemovalCase{"InterpreterFileMissing",
                    [](ProgramTest& t) { t.m().files.erase("C:\\WINDOWS\\system32\\cmd.exe"); }, {}, Yes,
                    {CommandFor(1), CommandFor(4), CommandFor(6)}, {{ToolNotRun, "Warning!", MB_OK}}, false},
        RemovalCase{"ComspecUnsetFindsCmdAlongPath",
                    [](ProgramTest& t) {
                        t.m().environment.erase("COMSPEC");
                        t.m().environment["PATH"] = "C:\\Tools;C:\\WINDOWS\\system32\\";
                        t.m().files["C:\\WINDOWS\\system32\\CMD.EXE"] = "MZ";
                    },
                    {}, Yes,
                    {CommandFor(1, "C:\\WINDOWS\\system32\\CMD.EXE"), CommandFor(4, "C:\\WINDOWS\\system32\\CMD.EXE"),
                     CommandFor(6, "C:\\WINDOWS\\system32\\CMD.EXE")},
                    {{Done, "", MB_OK}}, false},
        RemovalCase{"ComspecUnsetAndNoCmdAnywhere",
                    [](ProgramTest& t) {
                        t.m().environment.erase("COMSPEC");
                        t.m().environment["PATH"] = "";
                    },
                    {}, Yes, {}, {{ToolNotRun, "Warning!", MB_OK}}, false},
        RemovalCase{"ComspecWithSpacesIsQuoted",
                    [](ProgramTest& t) {
                        t.m().environment["COMSPEC"] = "C:\\Program Files\\Shell\\cmd.exe";
                        t.m().files["C:\\Program Files\\Shell\\cmd.exe"] = "MZ";
                    },
                    {}, Yes,
                    {CommandFor(1, "C:\\Program Files\\Shell\\cmd.exe"), CommandFor(4, "C:\\Program Files\\Shell\\cmd.exe"),
                     CommandFor(6, "C:\\Program Files\\Shell\\cmd.exe")},
                    {{Done, "", MB_OK}}, false}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(ProgramTest, EachCommandIsAwaitedAndStartedAsTheInterpreter) {
    Register(0, "Quillmar 1");
    Register(2, "Quillmar 3");
    WriteSettings(Settings);
    std::vector<std::string> settingsReadBefore;
    m().outcomeFor = [&](const sim::Command& command) {
        EXPECT_EQ(command.application, Cmd) << "started by its full name, never searched for";
        settingsReadBefore.push_back(std::to_string(m().iniReads.size()));
        return sim::CommandOutcome{0u};
    };
    Run({sim::ClickOn("DeleteButton")}, {IDYES, IDOK});
    // The settings file is read again right before each release's command.
    EXPECT_EQ(settingsReadBefore, (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(m().iniReads, (std::vector<std::string>{"C:\\WINDOWS\\qm.ini", "C:\\WINDOWS\\qm.ini"}));
}

TEST_F(ProgramTest, SettingsFileIsNotReadWhenNothingIsRegistered) {
    Register(0, "Quillmar 1");
    Run({sim::Meanwhile([] { sim::M().DeleteKey(ProgramTest::ReleaseKey(0)); }), sim::ClickOn("DeleteButton")},
        {IDYES, IDOK});
    EXPECT_TRUE(m().iniReads.empty());
}

// Where Quillmar's settings file is looked for, and when its name overflows
// the 256-byte buffer it is built in.
TEST_F(ProgramTest, SettingsFileNameAndItsOverflow) {
    const std::string overflow = "String buffer overflow";
    const std::string appendOverflow =
        LocatedMessage(overflow, "Util/GLOBUTIL.cpp",
                       SourceLineOf("Util/GLOBUTIL.cpp", "ThrowLocatedError(__FILE__, __LINE__, \"String buffer overflow\")")) + ".";
    const std::string directoryOverflow =
        LocatedMessage(overflow, "Forceuninstallqm.cpp",
                       SourceLineOf("Forceuninstallqm.cpp", "ThrowLocatedError(__FILE__, __LINE__, \"String buffer overflow\")")) + ".";
    auto folder = [](std::size_t length, bool trailingBackslash) {
        std::string path = "C:\\";
        path += std::string(length - 3 - (trailingBackslash ? 1 : 0), 'w');
        if (trailingBackslash) path += '\\';
        return path;
    };
    struct Case {
        const char* label;
        std::optional<std::string> windowsDirectory;
        std::string read;   // the settings file read, or "" when none is
        std::string error;  // the error shown, or ""
    };
    const Case cases[] = {
        {"plain", "C:\\WINDOWS", "C:\\WINDOWS\\qm.ini", ""},
        {"trailing backslash", "C:\\WINDOWS\\", "C:\\WINDOWS\\qm.ini", ""},
        {"200 characters", folder(200, false), folder(200, false) + "\\qm.ini", ""},
        {"248: the name just fits", folder(248, false), folder(248, false) + "\\qm.ini", ""},
        {"249: one too long", folder(249, false), "", appendOverflow},
        {"249 with backslash: just fits", folder(249, true), folder(249, true) + "qm.ini", ""},
        {"250 with backslash: one too long", folder(250, true), "", appendOverflow},
        {"255: the longest the buffer holds", folder(255, false), "", appendOverflow},
        {"255 with backslash", folder(255, true), "", appendOverflow},
        {"256: does not fit the buffer", folder(256, false), "", directoryOverflow},
        {"300", folder(300, true), "", directoryOverflow},
        {"unavailable", std::nullopt, "", directoryOverflow},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        sim::Reset();
        Register(3, "Quillmar 4");
        Register(5, "Quillmar 6");
        m().windowsDirectory = c.windowsDirectory;
        if (!c.read.empty()) m().files[c.read] = Settings;
        Run({sim::ClickOn("DeleteButton")}, {IDYES, IDOK});
        if (c.error.empty()) {
            EXPECT_EQ(m().iniReads.front(), c.read);
            EXPECT_EQ(CommandLines(), (std::vector<std::string>{CommandFor(3), CommandFor(5)}));
            EXPECT_EQ(m().boxes.back().text, Done);
        } else {
            EXPECT_TRUE(m().iniReads.empty());
            EXPECT_TRUE(m().commands.empty()) << "nothing runs for that release, and the walk stops";
            ASSERT_EQ(m().boxes.size(), 2u);
            EXPECT_EQ(m().boxes[1].text, c.error);
            EXPECT_EQ(m().boxes[1].type, MB_OK | MB_ICONERROR);
            EXPECT_TRUE(m().endedWithWindowOpen) << "an error leaves the window open";
            EXPECT_GE(m().captureReleases, 1);
        }
    }
}

}  // namespace

namespace {

// Quillmar's settings file as users' machines may hold it: only whether a
// non-empty "Directory" stands in "[Program]" decides.
TEST_F(ProgramTest, SettingsFileContents) {
    const std::string utf16 = [] {
        const std::string text = "[Program]\r\nDirectory=C:\\Quillmar\r\n";
        std::string bytes = "\xff\xfe";
        for (char c : text) bytes += std::string{c, '\0'};
        return bytes;
    }();
    struct Case {
        const char* label;
        std::string content;
        bool proceeds;
    };
    const Case cases[] = {
        {"plain", "[Program]\nDirectory=C:\\Quillmar\n", true},
        {"section and key in other case, spaces around", "[ program ]\n  DIRECTORY =  C:\\Q  \n", true},
        {"300-character directory is cut, not refused", "[Program]\nDirectory=" + std::string(300, 'd') + "\n", true},
        {"quoted", "[Program]\nDirectory=\"C:\\Program Files\\Q\"\n", true},
        {"saved as UTF-16", utf16, true},
        {"no Program section", "Directory=C:\\Q\n[Other]\nDirectory=C:\\Q\n", false},
        {"empty file", "", false},
        {"only blanks after the equals sign", "[Program]\nDirectory=   \n", false},
        {"empty quotes", "[Program]\nDirectory=\"\"\n", false},
        {"binary garbage", std::string("\x00\x01\xfe\xff\x7f[Pro\x00gram]\x1b", 12), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        sim::Reset();
        Register(2, "Quillmar 3");
        WriteSettings(c.content);
        Run({sim::ClickOn("DeleteButton")}, {IDYES, IDOK});
        EXPECT_EQ(m().commands.size(), c.proceeds ? 1u : 0u);
        ASSERT_EQ(m().boxes.size(), 2u);
        EXPECT_EQ(m().boxes[1].text, c.proceeds ? Done : Stopped);
        EXPECT_FALSE(m().endedWithWindowOpen);
    }
}

}  // namespace
