// The option tables against what users read: every option of the viewer
// and of the library has its row in the README, with its values named as
// the table names them, and the parser takes exactly the table's values.
#include <gtest/gtest.h>

#include <string>

#include "../../scene/core/model.h"
#include "options.h"
#include "viewer_test_util.h"

namespace {

std::string readme()
{
    return vt::readFile(std::string(SOURCE_DIR) + "/README.md");
}

// "| `NAME ARGS` |" or "| `NAME` |" at the start of a line.
bool hasRow(const std::string &text, const std::string &name, const std::string &args)
{
    std::string cell = "| `" + name + (args.empty() ? "" : " " + args) + "` |";
    return text.find("\n" + cell) != std::string::npos;
}

TEST(OptionTables, TheReadmeListsEveryRow)
{
    std::string text = readme();
    ASSERT_FALSE(text.empty());
    int named = 0;
    for (int i = 0; i < kViewerOptionCount; i++) {
        const ViewerOption &o = kViewerOptions[i];
        if (!o.name)
            continue;
        named++;
        EXPECT_TRUE(hasRow(text, o.name, o.args)) << "README has no row for " << o.name << " " << o.args;
        // The README names as many values as the parser takes; values in
        // brackets are optional ones that the option's setter looks for.
        int words = 0, depth = 0;
        for (const char *p = o.args; *p; p++) {
            depth += *p == '[';
            words += depth == 0 && (p == o.args || p[-1] == ' ') && *p != ' ';
            depth -= *p == ']';
        }
        EXPECT_EQ(words, o.values) << o.name;
    }
    EXPECT_GE(named, 21);
    for (int i = 0; i < vq::kLibraryOptionCount; i++) {
        const vq::LibraryOption &o = vq::kLibraryOptions[i];
        EXPECT_TRUE(hasRow(text, o.name, o.args)) << "README has no row for " << o.name << " " << o.args;
    }
}

TEST(OptionTables, NamesAreUniqueAcrossViewerAndLibrary)
{
    std::vector<std::string> names;
    for (int i = 0; i < kViewerOptionCount; i++)
        if (kViewerOptions[i].name)
            names.push_back(kViewerOptions[i].name);
    for (int i = 0; i < vq::kLibraryOptionCount; i++)
        names.push_back(vq::kLibraryOptions[i].name);
    for (size_t i = 0; i < names.size(); i++)
        for (size_t j = i + 1; j < names.size(); j++)
            EXPECT_NE(names[i], names[j]);
}

} // namespace
