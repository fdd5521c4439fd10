// Runs the whole program against a fresh simulated machine.
#pragma once

#include "Forceuninstallqm.h"
#include "platform/Forms.h"
#include "platform/Registry.h"
#include "platform/sim/SimWindows.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class ProgramTest : public ::testing::Test {
public:
    void SetUp() override { sim::Reset(); }


    sim::Machine& m() { return sim::M(); }

    static std::string ReleaseKey(int index) {
        return std::string(UninstallKeyPath) + "\\" + ProductCodes[index];
    }

    void AddUninstallKey(sim::Rights rights = sim::Rights::Full) { m().AddKey(UninstallKeyPath, rights); }

    // Release index (0-based, catalogue order) registered with a display name.
    void Register(int index, const std::string& displayName) {
        AddUninstallKey();
        m().AddKey(ReleaseKey(index));
        m().SetString(ReleaseKey(index), "DisplayName", displayName);
    }

    void WriteSettings(const std::string& content) { m().files["C:\\WINDOWS\\qm.ini"] = content; }

    int Run(std::vector<sim::Action> actions = {}, std::vector<int> answers = {}) {
        m().actions = std::move(actions);
        m().boxAnswers = std::move(answers);
        const int code = RunProgram();
        EXPECT_EQ(m().openKeys, 0) << "a registry key outlived the run";
        EXPECT_EQ(TRegistry::LiveObjects(), 0) << "a registry object outlived the run";
        EXPECT_EQ(m().failedCloses, 0) << "a key was closed twice or never opened";
        return code;
    }

    std::vector<std::string> Lines() { return m().MainWindow().listLines; }
    std::vector<bool> Selection() { return m().MainWindow().listSelected; }

    std::vector<std::string> BoxTexts() {
        std::vector<std::string> texts;
        for (const auto& box : m().boxes) texts.push_back(box.text);
        return texts;
    }

    std::vector<std::string> CommandLines() {
        std::vector<std::string> lines;
        for (const auto& command : m().commands) lines.push_back(command.commandLine);
        return lines;
    }
};
