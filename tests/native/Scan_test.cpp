// The scan that fills the list, run as the user meets it: the program from
// its entry to its return, against the simulated machine.
#include "ProgramFixture.h"

#include <functional>

namespace {

using Lines = std::vector<std::string>;
using Flags = std::vector<bool>;

struct ScanCase {
    const char* label;
    std::function<void(ProgramTest&)> arrange;
    Lines lines;           // the list when the run ended
    Flags selected;
    Lines boxes;           // texts of every box shown, in order
    bool windowStaysOpen;  // false: the program ended by itself
};

void PrintTo(const ScanCase& c, std::ostream* os) { *os << c.label; }

const char* const NotInstalled = "Quillmar doesn't appear to be installed";

class ScanTest : public ProgramTest, public ::testing::WithParamInterface<ScanCase> {
public:
    void DisplayNameOfType(int index, std::uint32_t type, std::vector<unsigned char> data) {
        Register(index, "");
        m().SetValue(ReleaseKey(index), "DisplayName", sim::Value{type, std::move(data), false});
    }
};

TEST_P(ScanTest, ListsRegisteredReleases) {
    const ScanCase& c = GetParam();
    c.arrange(*this);
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(Lines(), c.lines);
    EXPECT_EQ(Selection(), c.selected);
    EXPECT_EQ(BoxTexts(), c.boxes);
    EXPECT_EQ(m().endedWithWindowOpen, c.windowStaysOpen);
    EXPECT_FALSE(m().MainWindow().timerEnabled) << "the scan must never run again";
    EXPECT_EQ(m().timerTicks, 1);
    EXPECT_TRUE(m().commands.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScanTest,
    ::testing::Values(
        ScanCase{"NoneRegistered", [](ProgramTest& t) { t.AddUninstallKey(); }, {}, {}, {NotInstalled}, false},
        ScanCase{"OnlyOtherProducts",
                 [](ProgramTest& t) {
                     t.AddUninstallKey();
                     t.m().SetString(std::string(UninstallKeyPath) + "\\{00000000-0000-0000-0000-000000000001}",
                                     "DisplayName", "Other product");
                 },
                 {}, {}, {NotInstalled}, false},
        ScanCase{"TwoInCatalogueOrder",
                 [](ProgramTest& t) {
                     t.Register(7, "Quillmar 8");  // registered first, listed second
                     t.Register(2, "Quillmar 3");
                 },
                 {"Quillmar 3", "Quillmar 8"}, {true, true}, {}, true},
        ScanCase{"FirstAndLastOfCatalogue",
                 [](ProgramTest& t) {
                     t.Register(0, "First");
                     t.Register(18, "Last");
                 },
                 {"First", "Last"}, {true, true}, {}, true},
        ScanCase{"SameNameTwice",
                 [](ProgramTest& t) {
                     t.Register(1, "Quillmar");
                     t.Register(4, "Quillmar");
                 },
                 {"Quillmar", "Quillmar"}, {true, true}, {}, true},
        ScanCase{"NoDisplayNameCountsAsInstalled",
                 [](ProgramTest& t) {
                     t.AddUninstallKey();
                     t.m().AddKey(ProgramTest::ReleaseKey(5));
                 },
                 {""}, {true}, {}, true},
        ScanCase{"DisplayNameOfWrongTypeStopsTheScan",
                 [](ProgramTest& t) {
                     t.Register(0, "Quillmar 1");
                     static_cast<ScanTest&>(t).DisplayNameOfType(3, REG_DWORD, {1, 0, 0, 0});
                     t.Register(9, "Quillmar 10");
                 },
                 // "'" lies below ".", so no full stop is added
                 {"Quillmar 1"}, {false}, {"Invalid data type for 'DisplayName'"}, true},
        ScanCase{"UnreadableDisplayName",
                 [](ProgramTest& t) {
                     t.Register(2, "Quillmar 3");
                     t.m().FindKey(ProgramTest::ReleaseKey(2))->values["DisplayName"].unreadable = true;
                 },
                 {}, {}, {"Failed to get data for 'DisplayName'"}, true},
        ScanCase{"UninstallKeyMissing", [](ProgramTest&) {}, {}, {}, {"Missing uninstall key."}, true},
        ScanCase{"UninstallKeyReadOnly", [](ProgramTest& t) { t.AddUninstallKey(sim::Rights::ReadOnly); }, {}, {},
                 {"Missing uninstall key."}, true},
        ScanCase{"ReleaseKeyReadOnlyIsSkipped",
                 [](ProgramTest& t) {
                     t.Register(0, "Quillmar 1");
                     t.Register(1, "Quillmar 2");
                     t.m().FindKey(ProgramTest::ReleaseKey(0))->rights = sim::Rights::ReadOnly;
                 },
                 {"Quillmar 2"}, {true}, {}, true}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(ProgramTest, ScanWarningAppearsOverTheShownWindowAndBlocksIt) {
    AddUninstallKey();
    Run();
    ASSERT_EQ(m().boxes.size(), 1u);
    const auto& box = m().boxes[0];
    EXPECT_EQ(box.caption, "Warning!");
    EXPECT_EQ(box.type, MB_OK);
    EXPECT_TRUE(box.ownedByMainWindow);
    EXPECT_FALSE(box.mainWindowEnabledDuringBox);
}

TEST_F(ProgramTest, ErrorBoxIsTheStandardOne) {
    Run();
    ASSERT_EQ(m().boxes.size(), 1u);
    EXPECT_EQ(m().boxes[0].caption, "Qmuninstallkeysonly");
    EXPECT_EQ(m().boxes[0].type, MB_OK | MB_ICONERROR);
    EXPECT_TRUE(m().boxes[0].ownedByMainWindow);
}

TEST_F(ProgramTest, ScanRunsOnceAfterTheWindowIsShown) {
    Register(0, "Quillmar 1");
    Run({sim::WaitFor(5000), sim::ClickLine(0), sim::WaitFor(5000)});
    EXPECT_EQ(m().timerTicks, 1);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"Quillmar 1"}));
}

}  // namespace
