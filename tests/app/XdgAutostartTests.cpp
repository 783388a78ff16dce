#include <glib.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "BrindleApp/desktop/XdgLaunchAtLogin.h"
#include "BrindleCore/FileSystemError.h"
#include "tests/fakes/TemporaryFolder.h"

namespace brindle::desktop {
namespace {

using testing::TemporaryFolder;
using testing::writeFile;

class XdgAutostartTest : public ::testing::Test {
protected:
    TemporaryFolder temp;
    PosixFileManager files;
    Path config = temp / "config";
    Path entry = config / "autostart/io.github.brindle.Brindle.desktop";
    XdgAutostart autostart(const Path& program = "/usr/bin/brindle") { return XdgAutostart(files, config, program); }
};

// What a desktop session starts from the entry, read as GLib's sessions read it: the
// value's escapes undone, the command line split as a shell would, "%%" made "%".
std::string programTheSessionStarts(const Path& entry) {
    g_autoptr(GKeyFile) file = g_key_file_new();
    g_autofree gchar* exec = g_key_file_load_from_file(file, entry.c_str(), G_KEY_FILE_NONE, nullptr)
                                 ? g_key_file_get_string(file, "Desktop Entry", "Exec", nullptr)
                                 : nullptr;
    g_auto(GStrv) argv = nullptr;
    if (exec == nullptr || !g_shell_parse_argv(exec, nullptr, &argv, nullptr)) return "(no command)";
    std::string program = argv[0];
    for (auto at = program.find("%%"); at != std::string::npos; at = program.find("%%", at + 1)) program.erase(at, 1);
    return program;
}

TEST_F(XdgAutostartTest, EnablingWritesAnEntryTheSessionStartsDisablingRemovesItAndOnlyAnEntrySwitchedOnIsEnabled) {
    const Path running = XdgAutostart::runningProgramPath();  // what the tray names: this test executable
    EXPECT_TRUE(running.is_absolute() && running.filename() == "BrindleDesktopTests") << running;
    for (const Path& program : {running, Path("/opt/My Apps/brindle"), Path("/opt/odd\"`$\\%;name/brindle"),
                                Path("/opt/tab\there/brindle")}) {
        XdgLaunchAtLogin service(autostart(program));
        service.registerApplication();
        EXPECT_EQ(service.status(), shell::LaunchAtLoginStatus::enabled);
        EXPECT_EQ(programTheSessionStarts(entry), program.string());
        EXPECT_EQ(files.examine(entry).mode, 0644u);
        EXPECT_EQ(files.examine(config / "autostart").mode, 0700u) << "folders made for it are private";
        if (program == "/opt/My Apps/brindle" && std::system("command -v desktop-file-validate >/dev/null") == 0) {
            EXPECT_EQ(std::system(("desktop-file-validate '" + entry.string() + "'").c_str()), 0);
        }
        service.unregisterApplication();
        EXPECT_EQ(service.status(), shell::LaunchAtLoginStatus::notRegistered);
        EXPECT_FALSE(files.examine(entry).exists());
        EXPECT_NO_THROW(service.unregisterApplication()) << "an entry already gone is no error";
    }

    const std::string start = "[Desktop Entry]\nType=Application\nExec=brindle\n";
    const std::vector<std::pair<std::string, bool>> texts{
        {start, true},
        {start + "Hidden=true\n", false},
        {start + "X-GNOME-Autostart-enabled=false\n", false},
        {start + "Hidden=false\nX-GNOME-Autostart-enabled=true\n", true},
        {"[Other Group]\nHidden=false\n", false},
        {"not a desktop entry\x01", false},
    };
    for (const auto& [text, enabled] : texts) {
        writeFile(entry, text);
        EXPECT_EQ(autostart().isEnabled(), enabled) << text;
    }
}

TEST_F(XdgAutostartTest, FailuresNameTheEntryAndTheReason) {
    auto failure = [](auto action) { return testing::failureOf<FileSystemError>(action); };
    const std::string named = quotedPath(entry.string());
    EXPECT_EQ(failure([&] { autostart("brindle").enable(); }),
              "Could not write " + named + ": the location of the running program is unknown.");
    EXPECT_EQ(failure([&] { autostart("/opt/bad\xFF/brindle").enable(); }),
              "Could not write " + named + ": the program's path " + quotedPath("/opt/bad\xFF/brindle") +
                  " is not UTF-8 text, which a desktop entry cannot hold.");
    testing::makeFolder(entry);
    EXPECT_EQ(failure([&] { autostart().disable(); }), "Could not remove " + named + ": it is a folder, not a desktop entry file.");
}

}  // namespace
}  // namespace brindle::desktop
