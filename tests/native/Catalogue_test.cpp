// The release catalogue and the interpreter look-up.
#include "Forceuninstallqm.h"
#include "platform/Shell.h"
#include "platform/sim/SimWindows.h"

#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <set>

namespace {

TEST(Catalogue, HoldsNineteenDistinctUpperCaseBracedCodesAndAnEndMarker) {
    const std::regex braced(R"(\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\})");
    std::set<std::string> seen;
    int walked = 0;
    for (const char* const* code = ProductCodes; **code != '\0'; ++code, ++walked) {
        SCOPED_TRACE(*code);
        EXPECT_EQ(std::strlen(*code), 38u);
        EXPECT_TRUE(std::regex_match(*code, braced));
        EXPECT_TRUE(seen.insert(*code).second) << "duplicate";
    }
    EXPECT_EQ(walked, 19);
    EXPECT_STREQ(ProductCodes[19], "");
}

TEST(Catalogue, ReleaseKeyPathIsAbsoluteBelowTheUninstallKey) {
    EXPECT_STREQ(UninstallKeyPath, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
    EXPECT_EQ(ReleaseKeyPath(ProductCodes[0]),
              std::string("\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + ProductCodes[0]);
}

TEST(Interpreter, IsFoundWithoutLookingInTheCurrentFolder) {
    struct Case {
        const char* label;
        std::optional<std::string> comspec;
        std::string path;
        std::vector<std::string> files;
        std::string found;
    };
    const Case cases[] = {
        {"COMSPEC as it is", "C:\\WINDOWS\\system32\\cmd.exe", "", {}, "C:\\WINDOWS\\system32\\cmd.exe"},
        {"COMSPEC even when the file is gone", "D:\\gone\\cmd.exe", "", {}, "D:\\gone\\cmd.exe"},
        {"unset: CMD.EXE along PATH", std::nullopt, "C:\\a;C:\\b", {"C:\\b\\CMD.EXE"}, "C:\\b\\CMD.EXE"},
        {"unset: first folder wins", std::nullopt, "C:\\a;C:\\b", {"C:\\a\\CMD.EXE", "C:\\b\\CMD.EXE"}, "C:\\a\\CMD.EXE"},
        {"unset: not along PATH", std::nullopt, "C:\\a", {".\\CMD.EXE", "CMD.EXE"}, ""},
        {"unset: PATH empty", std::nullopt, "", {"CMD.EXE"}, ""},
        {"empty COMSPEC counts as unset", "", "C:\\a", {"C:\\a\\CMD.EXE"}, "C:\\a\\CMD.EXE"},
        {"COMSPEC without a folder is looked up along PATH", "cmd.exe", "C:\\a", {"cmd.exe", "C:\\a\\cmd.exe"},
         "C:\\a\\cmd.exe"},
        {"COMSPEC without a folder, not along PATH", "cmd.exe", "C:\\a", {"cmd.exe"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        sim::Reset();
        sim::M().files.clear();
        if (c.comspec)
            sim::M().environment["COMSPEC"] = *c.comspec;
        else
            sim::M().environment.erase("COMSPEC");
        sim::M().environment["PATH"] = c.path;
        for (const auto& file : c.files) sim::M().files[file] = "MZ";
        EXPECT_EQ(FindInterpreter(), c.found);
    }
}

}  // namespace
