#include "BrindleApp/desktop/AppId.h"
#include "BrindleApp/desktop/XdgAutostart.h"
#include "tests/fakes/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using brindle::desktop::AutostartError;
using brindle::desktop::kAppId;
using brindle::desktop::UserEnvironment;
using brindle::desktop::XdgAutostart;
using brindle::testing::readFile;
using brindle::testing::writeFile;

namespace {

// Keys of the [Desktop Entry] group, values as stored (still escaped).
std::map<std::string, std::string> mainGroupKeys(const std::string& text)
{
    std::map<std::string, std::string> keys;
    std::istringstream lines(text);
    std::string line;
    bool inMain = false;
    while (std::getline(lines, line)) {
        if (!line.empty() && line[0] == '[') {
            inMain = line == "[Desktop Entry]";
            continue;
        }
        const auto equals = line.find('=');
        if (inMain && equals != std::string::npos)
            keys[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return keys;
}

// Reads an Exec value back the way a desktop session does: string escapes
// first, then the quoting of one argument, then %% as a literal %.
std::string programFromExec(const std::string& value)
{
    std::string unescaped;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            const char next = value[++i];
            unescaped += next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r'
                       : next == 's' ? ' ' : next;
        } else {
            unescaped += value[i];
        }
    }
    std::string argument;
    if (!unescaped.empty() && unescaped.front() == '"') {
        EXPECT_EQ(unescaped.back(), '"') << "unterminated quotes in " << value;
        const std::string inner = unescaped.substr(1, unescaped.size() - 2);
        for (size_t i = 0; i < inner.size(); ++i) {
            if (inner[i] == '"' || inner[i] == '`' || inner[i] == '$')
                ADD_FAILURE() << "unescaped " << inner[i] << " inside quotes in " << value;
            if (inner[i] == '\\' && i + 1 < inner.size()) {
                ++i;
                EXPECT_NE(std::string("\"`$\\").find(inner[i]), std::string::npos)
                    << "stray backslash inside quotes in " << value;
            }
            argument += inner[i];
        }
    } else {
        EXPECT_EQ(unescaped.find_first_of(" \t\n\"'\\><~|&;$*?#`()"), std::string::npos)
            << "reserved character outside quotes in " << value;
        argument = unescaped;
    }
    std::string program;
    for (size_t i = 0; i < argument.size(); ++i) {
        if (argument[i] == '%') {
            EXPECT_TRUE(i + 1 < argument.size() && argument[i + 1] == '%')
                << "lone % would be a field code in " << value;
            ++i;
        }
        program += argument[i];
    }
    return program;
}

std::string entryName()
{
    return std::string(kAppId) + ".desktop";
}

class XdgAutostartTest : public ::testing::Test {
protected:
    brindle::testing::TemporaryFolder scratch;
    fs::path configHome = scratch / "config";
    fs::path program = "/usr/bin/brindle";
    fs::path entry = configHome / "autostart" / entryName();

    XdgAutostart autostart() const { return XdgAutostart(configHome, program); }
};

TEST_F(XdgAutostartTest, RegisterWritesAStartableEntryAndUnregisterRemovesIt)
{
    const XdgAutostart service = autostart();
    EXPECT_EQ(service.entryPath(), entry);
    EXPECT_EQ(service.status(), XdgAutostart::notRegistered);

    service.registerService();
    EXPECT_EQ(service.status(), XdgAutostart::enabled);
    EXPECT_EQ(XdgAutostart(configHome, "/elsewhere/brindle").status(), XdgAutostart::enabled)
        << "status is a property of the file, not of this object";

    // Nothing but the entry is left behind: no temporary file.
    std::vector<fs::path> contents;
    for (const auto& item : fs::directory_iterator(entry.parent_path()))
        contents.push_back(item.path());
    EXPECT_EQ(contents, std::vector<fs::path> {entry});
    EXPECT_EQ(fs::status(entry.parent_path()).permissions() & fs::perms::all, fs::perms::owner_all);

    const auto keys = mainGroupKeys(readFile(entry));
    EXPECT_EQ(keys.at("Type"), "Application");
    EXPECT_EQ(keys.at("Exec"), "/usr/bin/brindle");
    EXPECT_EQ(keys.at("X-GNOME-Autostart-enabled"), "true");
    EXPECT_EQ(keys.at("X-LXQt-Need-Tray"), "true");
    const int delay = std::stoi(keys.at("X-GNOME-Autostart-Delay"));
    EXPECT_GE(delay, 1);
    EXPECT_LE(delay, 30);
    EXPECT_EQ(keys.count("Hidden"), 0u);

    service.unregisterService();
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_EQ(service.status(), XdgAutostart::notRegistered);
    EXPECT_NO_THROW(service.unregisterService()) << "a missing entry is already unregistered";
}

TEST_F(XdgAutostartTest, EntriesSwitchedOffByTheUserCountAsNotRegistered)
{
    const XdgAutostart service = autostart();
    const std::string head = "[Desktop Entry]\nType=Application\nExec=/usr/bin/brindle\n";

    writeFile(entry, head + "Hidden=true\n");
    EXPECT_EQ(service.status(), XdgAutostart::notRegistered);

    writeFile(entry, head + "Hidden = true\n");
    EXPECT_EQ(service.status(), XdgAutostart::notRegistered) << "spaces around = are allowed";

    writeFile(entry, head + "X-GNOME-Autostart-enabled=false\n");
    EXPECT_EQ(service.status(), XdgAutostart::notRegistered);

    writeFile(entry, head + "Hidden=false\n[Desktop Action extra]\nHidden=true\n");
    EXPECT_EQ(service.status(), XdgAutostart::enabled) << "only the main group decides";

    writeFile(entry, head + "Hidden=true\n");
    service.registerService();
    EXPECT_EQ(service.status(), XdgAutostart::enabled) << "registering overrides the hidden entry";
    EXPECT_EQ(mainGroupKeys(readFile(entry)).count("Hidden"), 0u);
}

TEST_F(XdgAutostartTest, AFolderAtTheEntryPathIsNotAnEntryAndCannotBeRemoved)
{
    fs::create_directories(entry / "inside");
    const XdgAutostart service = autostart();
    EXPECT_EQ(service.status(), XdgAutostart::notRegistered);
    try {
        service.unregisterService();
        FAIL() << "removing a folder must fail";
    } catch (const AutostartError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Could not remove \u201C" + entry.string()
                      + "\u201D: it is a folder, not a desktop entry file.");
        EXPECT_EQ(error.path(), entry);
    }
    EXPECT_TRUE(fs::is_directory(entry / "inside"));
}

TEST(XdgAutostartExec, QuotesAndEscapesOnlyWhatTheFormatReserves)
{
    EXPECT_EQ(XdgAutostart::execValueFor("/usr/bin/brindle"), "/usr/bin/brindle");
    EXPECT_EQ(XdgAutostart::execValueFor("/opt/My Apps/brindle"), "\"/opt/My Apps/brindle\"");
    EXPECT_EQ(XdgAutostart::execValueFor("/opt/100%/brindle"), "/opt/100%%/brindle");
    // A $ and a backslash are escaped for the quoting, then that backslash
    // is escaped again as a string value.
    EXPECT_EQ(XdgAutostart::execValueFor("/opt/a$b/brindle"), "\"/opt/a\\\\$b/brindle\"");
    EXPECT_EQ(XdgAutostart::execValueFor("/opt/a\\b/brindle"), "\"/opt/a\\\\\\\\b/brindle\"");

    const char* awkward[] = {
        "/opt/My Apps/brindle",        "/opt/say \"hi\"/brindle", "/opt/`cmd`/brindle",
        "/opt/$HOME/brindle",          "/opt/back\\slash/brindle", "/opt/50% off/brindle",
        "/opt/it's; (odd) & <more>|*?#~/brindle", "/opt/tab\there/brindle",
        "/opt/new\nline/brindle",      "/opt/caf\u00E9 %%/brindle",
    };
    for (const char* path : awkward) {
        const std::string value = XdgAutostart::execValueFor(path);
        EXPECT_EQ(programFromExec(value), path) << "Exec=" << value;
        EXPECT_EQ(value.find('\n'), std::string::npos) << "a value must stay on one line";
    }
}

TEST_F(XdgAutostartTest, TheWrittenEntryNamesThisProgramAndPassesTheDesktopFileValidator)
{
    program = "/home/u/My Tools/$weird \"name\"/50%/brindle";
    autostart().registerService();
    EXPECT_EQ(programFromExec(mainGroupKeys(readFile(entry)).at("Exec")), program.string());

    const char* validator = "/usr/bin/desktop-file-validate";
    if (::access(validator, X_OK) != 0)
        GTEST_SKIP() << validator << " is not installed";
    const std::string command = std::string(validator) + " '" + entry.string() + "' 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << readFile(entry);
}

TEST_F(XdgAutostartTest, WriteFailuresNameTheEntryAndTheReason)
{
    const std::string writeFailure = "Could not write \u201C" + entry.string() + "\u201D: ";

    // The autostart folder is a file.
    writeFile(configHome / "autostart", "not a folder");
    try {
        autostart().registerService();
        FAIL() << "expected an error";
    } catch (const AutostartError& error) {
        EXPECT_EQ(std::string(error.what()),
                  writeFailure + "\u201C" + (configHome / "autostart").string()
                      + "\u201D is a file, not a folder.");
        EXPECT_EQ(error.path(), entry);
    }
    EXPECT_EQ(readFile(configHome / "autostart"), "not a folder");

    // A file further up is found and named too.
    fs::remove(configHome / "autostart");
    fs::remove(configHome);
    writeFile(configHome, "");
    try {
        autostart().registerService();
        FAIL() << "expected an error";
    } catch (const AutostartError& error) {
        EXPECT_EQ(std::string(error.what()),
                  writeFailure + "\u201C" + configHome.string() + "\u201D is a file, not a folder.");
    }
    EXPECT_EQ(autostart().status(), XdgAutostart::notRegistered);
}

TEST_F(XdgAutostartTest, AProgramPathThatCannotBeWrittenIsRefusedBeforeTouchingTheDisk)
{
    program = "";
    EXPECT_THROW(
        {
            try {
                autostart().registerService();
            } catch (const AutostartError& error) {
                EXPECT_EQ(std::string(error.what()),
                          "Could not write \u201C" + entry.string()
                              + "\u201D: the location of the running program is unknown.");
                throw;
            }
        },
        AutostartError);

    program = "/opt/latin1-\xE9/brindle";
    try {
        autostart().registerService();
        FAIL() << "a path that is not UTF-8 cannot go into a desktop entry";
    } catch (const AutostartError& error) {
        EXPECT_NE(std::string(error.what()).find("is not UTF-8 text"), std::string::npos)
            << error.what();
    }
    EXPECT_FALSE(fs::exists(configHome));
}

TEST_F(XdgAutostartTest, AFolderWithoutWritePermissionGivesAPlainMessage)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes regardless of permission bits";
    fs::create_directories(entry.parent_path());
    fs::permissions(entry.parent_path(), fs::perms::owner_read | fs::perms::owner_exec);
    try {
        autostart().registerService();
        FAIL() << "expected an error";
    } catch (const AutostartError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "Could not write \u201C" + entry.string() + "\u201D: permission was denied.");
        EXPECT_EQ(error.code(), std::errc::permission_denied);
    }
}

TEST(XdgAutostartLocation, ConfigHomeFollowsTheXdgRules)
{
    using Env = UserEnvironment;
    EXPECT_EQ(XdgAutostart::configHomeFor(Env {"/x/config", "/home/u"}), fs::path("/x/config"));
    EXPECT_EQ(XdgAutostart::configHomeFor(Env {"", "/home/u"}), fs::path("/home/u/.config"));
    EXPECT_EQ(XdgAutostart::configHomeFor(Env {std::nullopt, "/home/u"}),
              fs::path("/home/u/.config"));
    EXPECT_EQ(XdgAutostart::configHomeFor(Env {"relative/config", "/home/u"}),
              fs::path("/home/u/.config"))
        << "a relative XDG_CONFIG_HOME is invalid";
    EXPECT_EQ(XdgAutostart::configHomeFor(Env {std::nullopt, std::nullopt}), fs::path());

    const XdgAutostart nowhere(XdgAutostart::configHomeFor(Env {}), "/usr/bin/brindle");
    EXPECT_EQ(nowhere.status(), XdgAutostart::notRegistered);
    EXPECT_NO_THROW(nowhere.unregisterService());
    EXPECT_THROW(nowhere.registerService(), AutostartError);
}

TEST(XdgAutostartLocation, TheRunningProgramIsThisTestExecutable)
{
    const fs::path path = XdgAutostart::runningProgramPath();
    EXPECT_TRUE(path.is_absolute()) << path;
    EXPECT_TRUE(fs::is_regular_file(path)) << path;
    EXPECT_EQ(path.filename(), "BrindleDesktopTests");
}

}  // namespace
