#include "BrindleApp/desktop/XdgAutostart.h"

#include <glib.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "BrindleApp/desktop/AppId.h"
#include "BrindleCore/FileSystemError.h"
#include "BrindleCore/UserFolders.h"
#include "BrindleCore/Utf8.h"

namespace brindle::desktop {

namespace {

constexpr const char* kGroup = "Desktop Entry";

struct KeyFileDeleter {
    void operator()(GKeyFile* file) const { g_key_file_free(file); }
};
using KeyFile = std::unique_ptr<GKeyFile, KeyFileDeleter>;

[[noreturn]] void cannotWrite(const Path& entry, const std::string& reason) {
    throw FileSystemError(EINVAL, entry.string(), "Could not write " + quotedPath(entry.string()) + ": " + reason + ".");
}

}  // namespace

XdgAutostart::XdgAutostart(FileManager& fileManager, const Path& configHome, Path programPath)
    : fileManager_(fileManager),
      programPath_(std::move(programPath)),
      entryPath_(configHome / "autostart" / (std::string(kAppId) + ".desktop")) {}

XdgAutostart XdgAutostart::forCurrentProcess() {
    return XdgAutostart(sharedFileManager(), UserFolders::current().config, runningProgramPath());
}

Path XdgAutostart::runningProgramPath() {
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) return {};
        if (static_cast<std::size_t>(length) < buffer.size()) {
            std::string path(buffer.data(), static_cast<std::size_t>(length));
            // After a package upgrade replaced the binary, the kernel reports the old
            // inode with this suffix; the new file is the one to start.
            constexpr std::string_view deleted = " (deleted)";
            if (path.size() > deleted.size() && path.ends_with(deleted)) {
                std::string original = path.substr(0, path.size() - deleted.size());
                if (access(original.c_str(), X_OK) == 0) path = std::move(original);
            }
            return Path(path);
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string XdgAutostart::execArgumentFor(const Path& program) {
    const std::string& raw = program.native();
    const bool needsQuotes = raw.find_first_of(" \t\n\r\"'\\><~|&;$*?#`()") != std::string::npos;
    std::string argument = needsQuotes ? "\"" : "";
    for (const char c : raw) {
        if (needsQuotes && (c == '"' || c == '`' || c == '$' || c == '\\')) argument += '\\';
        argument += c;
        if (c == '%') argument += '%';  // a lone % would start a field code
    }
    if (needsQuotes) argument += '"';
    return argument;
}

std::string XdgAutostart::entryText() const {
    const KeyFile file(g_key_file_new());
    GKeyFile* entry = file.get();
    g_key_file_set_string(entry, kGroup, "Type", "Application");
    g_key_file_set_string(entry, kGroup, "Name", "Brindle");
    g_key_file_set_string(entry, kGroup, "Comment", "Keeps a rolling backup of your coding agent's files");
    g_key_file_set_string(entry, kGroup, "Exec", execArgumentFor(programPath_).c_str());
    g_key_file_set_string(entry, kGroup, "Icon", std::string(kAppId).c_str());
    g_key_file_set_boolean(entry, kGroup, "Terminal", false);
    g_key_file_set_boolean(entry, kGroup, "StartupNotify", false);
    g_key_file_set_boolean(entry, kGroup, "X-GNOME-Autostart-enabled", true);
    // Long enough for the panel to come up, short enough that the launch backup still
    // happens right after login.
    g_key_file_set_integer(entry, kGroup, "X-GNOME-Autostart-Delay", 5);
    g_key_file_set_boolean(entry, kGroup, "X-LXQt-Need-Tray", true);
    g_key_file_set_string(entry, kGroup, "X-KDE-autostart-after", "panel");
    gchar* data = g_key_file_to_data(entry, nullptr, nullptr);
    std::string text(data);
    g_free(data);
    return text;
}

bool XdgAutostart::isEnabled() const {
    std::string text;
    try {
        text = fileManager_.readFile(entryPath_);
    } catch (const std::exception&) {
        return false;  // none, a folder in its place, or not readable: nothing the session starts
    }
    const KeyFile file(g_key_file_new());
    if (!g_key_file_load_from_data(file.get(), text.data(), text.size(), G_KEY_FILE_NONE, nullptr)) return false;
    // Either switch a user's tools write turns the entry off; an absent one does not.
    auto flag = [&](const char* key, bool absent) {
        GError* error = nullptr;
        const gboolean value = g_key_file_get_boolean(file.get(), kGroup, key, &error);
        if (error == nullptr) return value != FALSE;
        g_error_free(error);
        return absent;
    };
    return g_key_file_has_group(file.get(), kGroup) && !flag("Hidden", false) && flag("X-GNOME-Autostart-enabled", true);
}

void XdgAutostart::enable() const {
    if (programPath_.empty() || !programPath_.is_absolute()) cannotWrite(entryPath_, "the location of the running program is unknown");
    if (!isValidUtf8(programPath_.native()))
        cannotWrite(entryPath_, "the program's path " + quotedPath(programPath_.string()) +
                                    " is not UTF-8 text, which a desktop entry cannot hold");
    // Folders made for it are private to the user, as the XDG base directory rules ask.
    fileManager_.createDirectory(entryPath_.parent_path(), 0700);
    fileManager_.writeFileAtomically(entryPath_, entryText());
}

void XdgAutostart::disable() const {
    const EntryInfo entry = fileManager_.examine(entryPath_, Links::noFollow);
    if (!entry.exists()) return;
    if (entry.isDirectory()) {
        throw FileSystemError(EISDIR, entryPath_.string(),
                              "Could not remove " + quotedPath(entryPath_.string()) + ": it is a folder, not a desktop entry file.");
    }
    fileManager_.removeItem(entryPath_);
    fileManager_.syncFolder(entryPath_.parent_path());
}

}  // namespace brindle::desktop
