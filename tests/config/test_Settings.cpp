#include "config/ConfigTestSupport.h"
#include "config/Settings.h"

#include <gtest/gtest.h>

namespace
{

using SettingsTest = SettingsFileTest;

// The readers of one key differ on purpose; each reads by its own rule and default.
TEST_F(SettingsTest, EachReaderReadsByItsOwnRule)
{
    using namespace Settings;
    struct Case {
        const char *stored;
        bool textIsOne, numberIsOne, numberIsNotZero;
    };
    const Case cases[] = {
        {"1", true, true, true},
        {" 1.0", false, true, true},
        {"0", false, false, false},
        {"2", false, false, true},
        {"yes", false, false, true},
        {"", false, false, true},
    };
    for (const Case &c : cases) {
        store("Save", c.stored);
        store("SysTray", c.stored);
        EXPECT_EQ(saveOnClosing(), c.textIsOne) << c.stored;
        EXPECT_EQ(isOn(SaveBox), c.numberIsOne) << c.stored;
        EXPECT_EQ(trayWanted(), c.numberIsNotZero) << c.stored;
    }

    // Missing keys: each reader's own default.
    TestFiles::write(modGlobal::SettingsFilePath, "[Options]\r\n");
    EXPECT_FALSE(saveOnClosing());
    EXPECT_TRUE(isOn(SaveBox));
    EXPECT_TRUE(isOn(NoFreeSpaceCheckBox));
    EXPECT_TRUE(freeSpaceCheckWanted().wanted);
    EXPECT_EQ(chosenLanguage(), "");
    EXPECT_EQ(languageInUse(), "Deutsch");

    // CheckDestination: "1" means do not check; a text that is no number is reported.
    store("CheckDestination", "1");
    EXPECT_FALSE(freeSpaceCheckWanted().wanted);
    store("CheckDestination", " 0 ");
    EXPECT_EQ(freeSpaceCheckWanted().unreadable, "");
    EXPECT_TRUE(freeSpaceCheckWanted().wanted);
    store("CheckDestination", "off");
    EXPECT_TRUE(freeSpaceCheckWanted().wanted);
    EXPECT_EQ(freeSpaceCheckWanted().unreadable, "CheckDestination is not a number: \"off\"");
}

} // namespace
