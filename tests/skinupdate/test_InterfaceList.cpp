// The update server's package list: what is taken, in which order, and
// which names are never written into the Interface folder.
#include <gtest/gtest.h>

#include <fstream>

#include "InterfaceList.h"
#include "support/TempFolder.h"

using namespace cx;

TEST(InterfaceList, NamesUpToTheFirstEmptyLineAndOnlyPlainPackages)
{
    const struct {
        const char* name;
        std::string text;
        std::vector<std::string> names;
    } cases[] = {
        {"plain, CR LF", "blue.int\r\ngreen.int\r\n", {"blue.int", "green.int"}},
        {"no final line end", "blue.int\ngreen.int", {"blue.int", "green.int"}},
        {"an empty line ends the list", "blue.int\n\ngreen.int\n", {"blue.int"}},
        {"an empty first line: nothing", "\nblue.int\n", {}},
        {"hostile names skipped, the list goes on",
         "../up.int\n/abs.int\nsub/dir.int\nback\\slash.int\n..\n.int\n.hidden.int\nC:x.int\ntab\t.int\nok.int\n",
         {"ok.int"}},
        {"other kinds of file", "readme.txt\nskin.int.exe\nskin.INT\n", {"skin.INT"}},
        {"two dots inside, bytes above ASCII", "a..b.int\nsk\xE9n.int\nplain-1.int\n", {"plain-1.int"}},
        {"a repeated name once", "a.int\na.int\n", {"a.int"}},
        {"nothing", "", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(readInterfaceList(c.text), c.names) << c.name;
}

TEST(InterfaceList, MissingPackagesInListOrder)
{
    cx::test::TempFolder folder;
    std::ofstream(folder.path() / "green.int") << "x";
    EXPECT_EQ(missingPackages({"blue.int", "green.int", "red.int"}, folder.path()),
              (std::vector<std::string>{"blue.int", "red.int"}));
    EXPECT_TRUE(missingPackages({"green.int"}, folder.path()).empty());
}
