#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cerrno>

#include "BrindleCore/FileSystemError.h"
#include "BrindleCore/ItemCopier.h"
#include "tests/fakes/FaultInjectingFileManager.h"
#include "tests/fakes/TemporaryFolder.h"

namespace brindle {
namespace {

using testing::makeFolder;
using testing::makeLink;
using testing::readFile;
using testing::TemporaryFolder;
using testing::treeOf;
using testing::writeFile;
using Tree = std::map<std::string, std::string>;

class ItemCopierTest : public ::testing::Test {
protected:
    TemporaryFolder temp;
    PosixFileManager files;
    Path source = temp / "skills";
    Path destination = temp / "staging/Codex/skills";
    CopyStats copy(const std::set<std::string>& excluded = {}) {
        files.createDirectory(destination.parent_path());
        return copyItem(files, source, destination, excluded);
    }
};

TEST_F(ItemCopierTest, ExclusionsMatchFromTheRootOnly) {
    writeFile(source / ".system/a", "1");
    writeFile(source / ".systemd/b", "22");
    writeFile(source / "pdf/.system/c", "333");
    writeFile(source / "codex-primary-runtime", "4444");
    writeFile(source / ".hidden", "55555");
    makeFolder(source / "empty/nested");
    auto stats = copy({".system", "codex-primary-runtime", "/pdf", "", "pdf/"});
    EXPECT_EQ(treeOf(destination), (Tree{{".systemd", "<dir>"}, {".systemd/b", "22"}, {"pdf", "<dir>"},
                                         {"pdf/.system", "<dir>"}, {"pdf/.system/c", "333"}, {".hidden", "55555"},
                                         {"empty", "<dir>"}, {"empty/nested", "<dir>"}}));
    EXPECT_EQ(stats.fileCount, 3);
    EXPECT_EQ(stats.byteCount, 10u);
}

TEST_F(ItemCopierTest, ReplacesWhateverWasAtTheDestination) {
    writeFile(source / "kept", "new");
    writeFile(destination / "stale", "old");
    copy();
    EXPECT_EQ(treeOf(destination), (Tree{{"kept", "new"}}));
    // And a single-file item replaces a folder in its place.
    writeFile(temp / "AGENTS.md", "rules");
    auto stats = copyItem(files, temp / "AGENTS.md", destination, {"anything"});
    EXPECT_EQ(readFile(destination), "rules");
    EXPECT_EQ(stats.fileCount, 1);
    EXPECT_EQ(stats.byteCount, 5u);
}

TEST_F(ItemCopierTest, LinksInsideTheTreeAreCopiedAsLinksAtTheirOwnPlace) {
    writeFile(source / "pdf/SKILL.md", "skill");
    makeLink("SKILL.md", source / "pdf/README.md");       // to a sibling
    makeLink("../pdf", source / "alias");                 // to a folder in the tree
    makeLink("/etc/hostname", source / "outside");        // out of the tree
    makeLink("does-not-exist", source / "dangling");      // nowhere
    makeLink(".", source / "self");                       // the folder itself
    auto stats = copy();
    EXPECT_EQ(treeOf(destination), treeOf(source));
    EXPECT_EQ(stats.fileCount, 6);
    struct stat link {};
    lstat((destination / "alias").c_str(), &link);
    EXPECT_TRUE(S_ISLNK(link.st_mode)) << "a link to a folder must not be entered";
}

TEST_F(ItemCopierTest, ASourceThatIsALinkIsBackedUpAsWhatItLeadsTo) {
    writeFile(temp / "dotfiles/config.toml", "model = 1");
    writeFile(temp / "dotfiles/skills/x", "x");
    makeLink((temp / "dotfiles/config.toml").string(), temp / "config.toml");
    makeLink((temp / "dotfiles/skills").string(), source);
    files.createDirectory(temp / "staging");
    auto single = copyItem(files, temp / "config.toml", temp / "staging/config.toml", {});
    EXPECT_EQ(readFile(temp / "staging/config.toml"), "model = 1");
    struct stat copied {};
    lstat((temp / "staging/config.toml").c_str(), &copied);
    EXPECT_TRUE(S_ISREG(copied.st_mode));
    EXPECT_EQ(single.byteCount, 9u);
    copy();
    EXPECT_EQ(treeOf(destination), (Tree{{"x", "x"}}));
}

TEST_F(ItemCopierTest, AFolderThatCannotBeOpenedFailsTheItemNamingIt) {
    writeFile(source / "a", "1");
    testing::FaultInjectingFileManager failing(files);
    failing.failWhen("walk", "skills", EACCES);
    files.createDirectory(destination.parent_path());
    try {
        copyItem(failing, source, destination, {});
        FAIL() << "an unreadable folder was copied as empty";
    } catch (const FileSystemError& error) {
        EXPECT_NE(std::string(error.what()).find(source.string()), std::string::npos) << error.what();
        EXPECT_NE(std::string(error.what()).find("permission was denied"), std::string::npos) << error.what();
    }
}

TEST_F(ItemCopierTest, AFailingFileEndsTheCopyWithThatFilesError) {
    writeFile(source / "a/big.bin", "data");
    testing::FaultInjectingFileManager failing(files);
    failing.failWhen("copyItem", "big.bin", ENOSPC);
    files.createDirectory(destination.parent_path());
    try {
        copyItem(failing, source, destination, {});
        FAIL();
    } catch (const FileSystemError& error) {
        EXPECT_NE(std::string(error.what()).find((source / "a/big.bin").string()), std::string::npos);
        EXPECT_NE(std::string(error.what()).find("the disk is full"), std::string::npos);
    }
    EXPECT_TRUE(files.fileExists(destination / "a")) << "what was copied before the failure stays";
}

TEST_F(ItemCopierTest, FoldersKeepTheirPermissionBits) {
    writeFile(source / "locked/file", "x");
    chmod((source / "locked").c_str(), 0555);
    copy();
    struct stat status {};
    stat((destination / "locked").c_str(), &status);
    EXPECT_EQ(status.st_mode & 0777, 0555u);
    EXPECT_EQ(readFile(destination / "locked/file"), "x");
}

TEST(ShouldExclude, ExactAndPrefixMatchesOnly) {
    std::set<std::string> excluded{".system", "a/b"};
    EXPECT_TRUE(shouldExclude(".system", excluded));
    EXPECT_TRUE(shouldExclude(".system/x/y", excluded));
    EXPECT_TRUE(shouldExclude("a/b/c", excluded));
    EXPECT_FALSE(shouldExclude(".systemx", excluded));
    EXPECT_FALSE(shouldExclude("x/.system", excluded));
    EXPECT_FALSE(shouldExclude("a", excluded));
}

}  // namespace
}  // namespace brindle
