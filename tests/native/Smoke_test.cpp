#include "ProgramFixture.h"

TEST_F(ProgramTest, Smoke) {
    Register(0, "Quillmar 1");
    Register(3, "Quillmar 4");
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"Quillmar 1", "Quillmar 4"}));
}
