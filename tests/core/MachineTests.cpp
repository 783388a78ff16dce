#include <gtest/gtest.h>

#include "BrindleCore/Machine.h"

namespace brindle {
namespace {

TEST(MachineName, SanitisesEveryKindOfCharacter) {
    const std::pair<const char*, const char*> cases[] = {
        {"Studio\u2019s MacBook Pro", "Studio-s-MacBook-Pro"},
        {"Cr\u00E9me \u5DE5\u4F5C\u7AD9 \u0663\u0664", "Cr\u00E9me-\u5DE5\u4F5C\u7AD9-\u0663\u0664"},
        {"studio-mbp.local", "studio-mbp-local"},
        {"a/\U0001F600b", "a--b"},  // never a nested path; one "-" per scalar, none merged
        {" .,;' ", "Mac"},
        {"", "Mac"},
        {"_my_box-1 - ", "my_box-1"},
        {"a \u0301b\u2764\uFE0Fc", "a-\u0301b-\uFE0Fc"},  // a mark stays after the "-" before it
        {"a\xFF\xFE" "b\xE2\x82" "c", "a--b-c"},  // one "-" per invalid UTF-8 sequence
    };
    for (const auto& [name, expected] : cases) EXPECT_EQ(Machine::sanitizedName(name), expected) << name;
}

TEST(MachineName, PrefersThePrettyNameAndFallsBackToTheHostName) {
    for (const auto& [pretty, expected] : std::vector<std::pair<std::optional<std::string>, std::string>>{
             {"Ada's Laptop", "Ada-s-Laptop"}, {std::nullopt, "host"}, {"", "host"}})
        EXPECT_EQ(Machine::currentName({[&] { return pretty; }, [] { return std::string("host"); }}), expected);
}

TEST(MachineName, ReadsPrettyHostnameWithShellQuoting) {
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"# comment\nCHASSIS=laptop\nPRETTY_HOSTNAME=\"Ada's \\\"Box\\\"\"\n", "Ada's \"Box\""},
        {"PRETTY_HOSTNAME='a b'", "a b"},
        {"PRETTY_HOSTNAME=plain\\ text", "plain text"},
        {"PRETTY_HOSTNAME=first\nPRETTY_HOSTNAME=second", "second"},
        {"PRETTY_HOSTNAME=\n", std::nullopt},
        {"#PRETTY_HOSTNAME=x\nICON_NAME=y", std::nullopt},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(Machine::prettyHostnameFromMachineInfo(text), expected) << text;
}

}  // namespace
}  // namespace brindle
