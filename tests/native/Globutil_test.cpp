// The support library: located errors, bounded appends, the key probe and
// the owning holder.
#include "SourceLine.h"
#include "Util/GLOBUTIL.h"
#include "platform/sim/SimWindows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

class GlobutilTest : public ::testing::Test {
protected:
    void SetUp() override { sim::Reset(); }
};

TEST_F(GlobutilTest, LocatedErrorCarriesItsTextAndLocation) {
    try {
        ThrowLocatedError("Forceuninstallqm.cpp", 42, "Something broke");
        FAIL() << "it returned";
    } catch (const EErrort& e) {
        EXPECT_EQ(e.ErrorText, "Something broke");
        EXPECT_EQ(e.Location, "Line 42\n Programming Source code File Forceuninstallqm.cpp\n2.10.7");
        EXPECT_EQ(e.Message, LocatedMessage("Something broke", "Forceuninstallqm.cpp", 42));
        const EErrort copy = e;
        EXPECT_EQ(copy.Message, e.Message);
        EXPECT_EQ(copy.Location, e.Location);
    }
    EXPECT_EQ(sim::M().captureReleases, 1) << "the mouse must be free to answer the error box";
}

TEST_F(GlobutilTest, SafeStrCatAtItsBoundary) {
    struct Case {
        const char* label;
        std::size_t capacity, destLength, srcLength;
        bool fits;
    };
    const Case cases[] = {
        {"250 + 5 leaves 255", 256, 250, 5, true},
        {"250 + 6 overflows", 256, 250, 6, false},
        {"into empty, to the last byte", 8, 0, 7, true},
        {"into empty, one over", 8, 0, 8, false},
        {"nothing onto a full buffer", 8, 7, 0, true},
        {"one onto a full buffer", 8, 7, 1, false},
    };
    const int line = SourceLineOf("Util/GLOBUTIL.cpp", "ThrowLocatedError(__FILE__, __LINE__, \"String buffer overflow\")");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::vector<char> buffer(c.capacity + 16, '#');  // bytes past capacity guard against overruns
        std::memset(buffer.data(), 'd', c.destLength);
        buffer[c.destLength] = '\0';
        const std::vector<char> before = buffer;
        const std::string src(c.srcLength, 's');
        if (c.fits) {
            EXPECT_EQ(SafeStrCat(buffer.data(), c.capacity, src.c_str()), 0);
            EXPECT_EQ(std::string(buffer.data()), std::string(c.destLength, 'd') + src);
        } else {
            try {
                SafeStrCat(buffer.data(), c.capacity, src.c_str());
                ADD_FAILURE() << "no overflow raised";
            } catch (const EErrort& e) {
                EXPECT_EQ(e.Message, LocatedMessage("String buffer overflow", "Util/GLOBUTIL.cpp", line));
            }
            EXPECT_EQ(buffer, before) << "the buffer must be left as it was";
        }
        EXPECT_TRUE(std::all_of(buffer.begin() + static_cast<long>(c.capacity), buffer.end(), [](char ch) { return ch == '#'; }));
    }
}

TEST_F(GlobutilTest, SafeStrCatRefusesADestinationWithoutItsZero) {
    char buffer[4] = {'a', 'b', 'c', 'd'};
    EXPECT_THROW(SafeStrCat(buffer, sizeof buffer, ""), EErrort);
    EXPECT_EQ(std::string(buffer, 4), "abcd");
}

TEST_F(GlobutilTest, RegKeyExistsProbesWithoutCreating) {
    sim::M().AddKey("Software\\Present");
    sim::M().AddKey("Software\\ReadOnly", sim::Rights::ReadOnly);
    sim::M().AddKey("Software\\Closed", sim::Rights::None);
    struct Case {
        const char* path;
        std::uint32_t access;
        bool exists;
    };
    const Case cases[] = {
        {"Software\\Present", KEY_READ, true},
        {"Software\\Present", KEY_ALL_ACCESS, true},
        {"Software\\Absent", KEY_READ, false},
        {"Software\\ReadOnly", KEY_READ, true},
        {"Software\\ReadOnly", KEY_ALL_ACCESS, false},
        {"Software\\Closed", KEY_READ, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " access " + std::to_string(c.access));
        EXPECT_EQ(RegKeyExists(HKEY_LOCAL_MACHINE, c.path, c.access), c.exists);
        EXPECT_EQ(sim::M().openKeys, 0);
    }
    EXPECT_EQ(sim::M().FindKey("Software\\Absent"), nullptr);
}

struct Counted {
    static inline int alive = 0;
    Counted() { ++alive; }
    ~Counted() { --alive; }
    Counted(const Counted&) = delete;
    Counted& operator=(const Counted&) = delete;
};

TEST_F(GlobutilTest, MyAutoPtrDestroysWhatItOwnsOnEveryWayOut) {
    try {
        my_auto_ptr<Counted> held(new Counted);
        EXPECT_TRUE(held.owns());
        throw Exception("leave early");
    } catch (const Exception&) {
    }
    EXPECT_EQ(Counted::alive, 0);

    Counted* released = nullptr;
    {
        my_auto_ptr<Counted> held(new Counted);
        released = held.release();
        EXPECT_FALSE(held.owns());
        EXPECT_EQ(held.get(), nullptr);
    }
    EXPECT_EQ(Counted::alive, 1);
    delete released;

    my_auto_ptr<Counted> empty;
    EXPECT_FALSE(empty.owns());
}

}  // namespace
