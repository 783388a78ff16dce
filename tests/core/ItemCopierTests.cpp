#include <gtest/gtest.h>

#include <cerrno>

#include "BrindleCore/FileSystemError.h"
#include "BrindleCore/ItemCopier.h"
#include "tests/fakes/FaultInjectingFileManager.h"
#include "tests/fakes/TemporaryFolder.h"

namespace brindle::testing {
namespace {

class ItemCopierTest : public ::testing::Test {
protected:
    TemporaryFolder temp;
    PosixFileManager real;
    FaultInjectingFileManager files{real};
    Path source = temp / "skills";
    Path destination = temp / "staging/Codex/skills";
    Path previous = temp / "latest/Codex/skills";
    ItemCopy copy(const std::set<std::string>& excluded = {}, std::optional<Path> earlier = std::nullopt) {
        real.createDirectory(destination.parent_path());
        return copyItem(files, source, destination, excluded, earlier);
    }
};

TEST_F(ItemCopierTest, ExclusionsMatchFromTheRootOnly) {
    writeFile(source / ".system/a", "1");
    writeFile(source / ".systemd/b", "22");
    writeFile(source / "pdf/.system/c", "333");
    writeFile(source / "codex-primary-runtime", "4444");
    writeFile(source / ".hidden", "55555");
    makeFolder(source / "empty/nested");
    copy({".system", "codex-primary-runtime", "/pdf", "", "pdf/"});
    EXPECT_EQ(treeOf(destination), (Tree{{".systemd", "<dir>"}, {".systemd/b", "22"}, {"pdf", "<dir>"},
                                         {"pdf/.system", "<dir>"}, {"pdf/.system/c", "333"}, {".hidden", "55555"},
                                         {"empty", "<dir>"}, {"empty/nested", "<dir>"}}));
}

TEST_F(ItemCopierTest, ReplacesWhateverWasAtTheDestination) {
    writeFile(source / "kept", "new");
    writeFile(destination / "stale", "old");
    copy();
    EXPECT_EQ(treeOf(destination), (Tree{{"kept", "new"}}));
    // A single-file item replaces a folder in its place and ignores exclusions.
    writeFile(temp / "AGENTS.md", "rules");
    EXPECT_EQ(copyItem(files, temp / "AGENTS.md", destination, {"anything"}).stats.fileCount, 1);
    EXPECT_EQ(readFile(destination), "rules");
    // An item whose folder cannot be opened fails whole, before its place is touched:
    // it is not copied empty.
    files.failWhen("walk", source.string(), EACCES);
    EXPECT_THROW(copy(), FileSystemError);
    EXPECT_EQ(readFile(destination), "rules");
}

TEST_F(ItemCopierTest, LinksAreCopiedAsLinksButALinkedSourceAsWhatItLeadsTo) {
    writeFile(temp / "dotfiles/skills/pdf/SKILL.md", "skill");
    makeLink("SKILL.md", temp / "dotfiles/skills/pdf/README.md");  // to a sibling
    makeLink("../pdf", temp / "dotfiles/skills/alias");              // to a folder in the tree
    makeLink("/etc/hostname", temp / "dotfiles/skills/outside");     // out of the tree
    makeLink("does-not-exist", temp / "dotfiles/skills/dangling");   // nowhere
    makeLink(".", temp / "dotfiles/skills/self");                    // the folder itself
    makeLink((temp / "dotfiles/skills").string(), source);
    EXPECT_EQ(copy().stats.fileCount, 6);
    EXPECT_EQ(treeOf(destination), treeOf(temp / "dotfiles/skills"));

    // A dotfile manager's link to a file is backed up as the file's content.
    writeFile(temp / "dotfiles/config.toml", "model = 1");
    makeLink((temp / "dotfiles/config.toml").string(), temp / "config.toml");
    EXPECT_EQ(copyItem(files, temp / "config.toml", temp / "staging/config.toml", {}).stats.byteCount, 9u);
    EXPECT_EQ(real.examine(temp / "staging/config.toml", Links::noFollow).type, EntryType::regular);
}

// Whatever cannot be copied keeps its copy from the previous backup, and says so; the
// rest is copied all the same.
TEST_F(ItemCopierTest, WhatCannotBeCopiedKeepsItsEarlierCopy) {
    for (const auto* name : {"a", "b", "broken", "gone/x"}) writeFile(source / name, std::string("new ") + name);
    for (const auto* name : {"broken", "gone/x", "gone/y", "old-only"}) writeFile(previous / name, std::string("old ") + name);
    files.failWhen("copyItem", (source / "broken").string(), EIO);
    auto result = copy({}, previous);
    EXPECT_EQ(result.problems.description(), "Could not do copyItem on " + quotedPath((source / "broken").string()) +
                                                 ": the disk reported an input/output error. Its copy from the "
                                                 "previous backup was kept.");

    files.failWhen("createDirectory", (destination / "gone").string(), EACCES);
    result = copy({}, previous);
    EXPECT_EQ(treeOf(destination), (Tree{{"a", "new a"}, {"b", "new b"}, {"broken", "old broken"}, {"gone", "<dir>"},
                                         {"gone/x", "old gone/x"}, {"gone/y", "old gone/y"}}));
    EXPECT_NE(result.problems.description().find(" 1 more entry could not be copied; copies from the previous backup "
                                                 "were kept where it had them."),
              std::string::npos);

    // Without an earlier copy there is nothing to keep, and the item says so.
    const auto fresh = copy();
    EXPECT_EQ(fresh.problems.count, 2u);
    EXPECT_NE(fresh.problems.description().find("The previous backup had no copy of it to keep."), std::string::npos);
    EXPECT_EQ(treeOf(destination).count("broken"), 0u);

    // An earlier copy that cannot be made must stop the run: it would publish less.
    files.failWhen("copyItem", (previous / "broken").string(), ENOSPC);
    EXPECT_THROW(copy({}, previous), EarlierCopyNotKept);
}

}  // namespace
}  // namespace brindle::testing
