#include <gtest/gtest.h>

#include "BrindleCore/Machine.h"

namespace brindle {
namespace {

TEST(MachineName, SanitisesEveryKindOfCharacter) {
    EXPECT_EQ(Machine::sanitizedName("Studio\u2019s MacBook Pro"), "Studio-s-MacBook-Pro");
    EXPECT_EQ(Machine::sanitizedName("Cr\u00E9me \u5DE5\u4F5C\u7AD9 \u0663\u0664"), "Cr\u00E9me-\u5DE5\u4F5C\u7AD9-\u0663\u0664");
    EXPECT_EQ(Machine::sanitizedName("studio-mbp.local"), "studio-mbp-local");
    EXPECT_EQ(Machine::sanitizedName("a..b"), "a--b");
    EXPECT_EQ(Machine::sanitizedName(" .,;' "), "Mac");
    EXPECT_EQ(Machine::sanitizedName(""), "Mac");
    EXPECT_EQ(Machine::sanitizedName("_box - "), "box");
    EXPECT_EQ(Machine::sanitizedName("my_box-1"), "my_box-1");
    EXPECT_EQ(Machine::sanitizedName("a/b"), "a-b");
    EXPECT_EQ(Machine::sanitizedName("\U0001F600box"), "box");
    // A mark after a replaced scalar stays in place after the "-".
    EXPECT_EQ(Machine::sanitizedName("a \u0301b"), "a-\u0301b");
    EXPECT_EQ(Machine::sanitizedName("a\u2764\uFE0Fb"), "a-\uFE0Fb");
    // Each invalid UTF-8 sequence counts as one replaced scalar.
    EXPECT_EQ(Machine::sanitizedName("a\xFF\xFE" "b"), "a--b");
    EXPECT_EQ(Machine::sanitizedName("a\xE2\x82" "b"), "a-b");
}

TEST(MachineName, PrefersThePrettyNameAndFallsBackToTheHostName) {
    Machine::NameSources sources{[] { return std::optional<std::string>("Ada's Laptop"); }, [] { return std::string("host"); }};
    EXPECT_EQ(Machine::currentName(sources), "Ada-s-Laptop");
    sources.userVisibleName = [] { return std::optional<std::string>(); };
    EXPECT_EQ(Machine::currentName(sources), "host");
    sources.userVisibleName = [] { return std::optional<std::string>(""); };
    EXPECT_EQ(Machine::currentName(sources), "host");
    EXPECT_FALSE(Machine::currentName().empty());
}

TEST(MachineName, ReadsPrettyHostnameWithShellQuoting) {
    EXPECT_EQ(Machine::prettyHostnameFromMachineInfo("# comment\nCHASSIS=laptop\nPRETTY_HOSTNAME=\"Ada's \\\"Box\\\"\"\n"),
              "Ada's \"Box\"");
    EXPECT_EQ(Machine::prettyHostnameFromMachineInfo("PRETTY_HOSTNAME='a b'"), "a b");
    EXPECT_EQ(Machine::prettyHostnameFromMachineInfo("PRETTY_HOSTNAME=plain\\ text"), "plain text");
    EXPECT_FALSE(Machine::prettyHostnameFromMachineInfo("PRETTY_HOSTNAME=\n"));
    EXPECT_FALSE(Machine::prettyHostnameFromMachineInfo("#PRETTY_HOSTNAME=x\nICON_NAME=y"));
}

}  // namespace
}  // namespace brindle
