#include "BrindleApp/desktop/XdgAutostart.h"

#include "BrindleApp/desktop/AppId.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace brindle::desktop {

namespace fs = std::filesystem;

namespace {

// Curly quotes around paths, as everywhere else in Brindle's messages.
std::string quotedPath(const fs::path& path)
{
    return "\u201C" + path.string() + "\u201D";
}

std::string plainReason(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return "permission was denied";
    case ENOSPC:
        return "the disk is full";
    case EDQUOT:
        return "the disk quota is used up";
    case EROFS:
        return "the disk is read-only";
    case ENAMETOOLONG:
        return "the path is too long";
    case ELOOP:
        return "the path has too many symbolic links";
    case EIO:
        return "the disk reported an input/output error";
    case EISDIR:
        return "a folder is in the way";
    case ENOTDIR:
        return "a part of the path is a file, not a folder";
    case ENOENT:
        return "a folder on the way does not exist";
    case EBUSY:
        return "the file is in use";
    default: {
        // Unusual reasons keep the system's own wording, in lower case so
        // that it continues the sentence.
        std::string text = std::strerror(error);
        if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z')
            text[0] = static_cast<char>(text[0] - 'A' + 'a');
        return text;
    }
    }
}

[[noreturn]] void failToWrite(const fs::path& entry, int error)
{
    throw AutostartError("Could not write " + quotedPath(entry) + ": " + plainReason(error) + ".",
                         entry, std::error_code(error, std::generic_category()));
}

[[noreturn]] void failToWrite(const fs::path& entry, const std::string& reason)
{
    throw AutostartError("Could not write " + quotedPath(entry) + ": " + reason + ".", entry, {});
}

// Closes a descriptor on every way out of a scope.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

// mkdir -p that names the first component that is not a folder. Folders it
// creates are private to the user, as the XDG base directory rules ask.
void ensureFolder(const fs::path& folder, const fs::path& entry)
{
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0) {
        if (!S_ISDIR(info.st_mode))
            failToWrite(entry, quotedPath(folder) + " is a file, not a folder");
        return;
    }
    // ENOTDIR means a file sits higher up: walking up finds and names it.
    if (errno != ENOENT && errno != ENOTDIR)
        failToWrite(entry, errno);

    const fs::path parent = folder.parent_path();
    if (!parent.empty() && parent != folder)
        ensureFolder(parent, entry);

    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        failToWrite(entry, errno);
}

void writeAll(int fd, std::string_view text, const fs::path& entry)
{
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            failToWrite(entry, errno);
        }
        text.remove_prefix(static_cast<size_t>(written));
    }
}

bool isValidUtf8(std::string_view text)
{
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        size_t length = 0;
        char32_t value = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            value = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            value = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            value = lead & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size())
            return false;
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            value = (value << 6) | (next & 0x3F);
        }
        const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (value < smallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

std::string_view trimmed(std::string_view text)
{
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

// Whether a desktop session would start this entry: only the main group
// counts, and either of the two switches a user's tools write turns it off.
bool entryIsActive(std::string_view text)
{
    bool inMainGroup = false;
    bool active = true;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = trimmed(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);

        if (line.empty() || line.front() == '#')
            continue;
        if (line.front() == '[') {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inMainGroup)
            continue;
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            continue;
        const std::string_view key = trimmed(line.substr(0, equals));
        const std::string_view value = trimmed(line.substr(equals + 1));
        if (key == "Hidden")
            active = active && value != "true";
        else if (key == "X-GNOME-Autostart-enabled")
            active = active && value != "false";
    }
    return active;
}

}  // namespace

AutostartError::AutostartError(const std::string& message, fs::path path, std::error_code code)
    : std::runtime_error(message), path_(std::move(path)), code_(code)
{
}

UserEnvironment UserEnvironment::current()
{
    UserEnvironment environment;
    if (const char* value = std::getenv("XDG_CONFIG_HOME"))
        environment.xdgConfigHome = value;
    if (const char* value = std::getenv("HOME")) {
        environment.home = value;
    } else {
        std::vector<char> buffer(16384);
        passwd entry {};
        passwd* found = nullptr;
        if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found
            && found->pw_dir)
            environment.home = found->pw_dir;
    }
    return environment;
}

XdgAutostart::XdgAutostart(fs::path configHome, fs::path programPath)
    : configHome_(std::move(configHome)), programPath_(std::move(programPath))
{
    if (!configHome_.empty())
        entryPath_ = configHome_ / "autostart" / (std::string(kAppId) + ".desktop");
}

XdgAutostart XdgAutostart::forCurrentProcess()
{
    return XdgAutostart(configHomeFor(UserEnvironment::current()), runningProgramPath());
}

fs::path XdgAutostart::configHomeFor(const UserEnvironment& environment)
{
    // A relative XDG_CONFIG_HOME is invalid and must be ignored.
    if (environment.xdgConfigHome && !environment.xdgConfigHome->empty()
        && environment.xdgConfigHome->front() == '/')
        return fs::path(*environment.xdgConfigHome);
    if (environment.home && !environment.home->empty() && environment.home->front() == '/')
        return fs::path(*environment.home) / ".config";
    return {};
}

fs::path XdgAutostart::runningProgramPath()
{
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            return {};
        if (static_cast<size_t>(length) < buffer.size()) {
            std::string path(buffer.data(), static_cast<size_t>(length));
            // After a package upgrade replaced the binary, the kernel reports
            // the old inode with this suffix; the new file is the one to start.
            constexpr std::string_view deleted = " (deleted)";
            if (path.size() > deleted.size() && path.ends_with(deleted)) {
                std::string original = path.substr(0, path.size() - deleted.size());
                if (::access(original.c_str(), X_OK) == 0)
                    path = std::move(original);
            }
            return fs::path(path);
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string XdgAutostart::execValueFor(const fs::path& program)
{
    const std::string& raw = program.native();
    constexpr std::string_view reserved = " \t\n\r\"'\\><~|&;$*?#`()";
    const bool needsQuotes = raw.find_first_of(reserved) != std::string::npos;

    // First the Exec quoting rules...
    std::string argument;
    if (needsQuotes)
        argument += '"';
    for (const char c : raw) {
        if (needsQuotes && (c == '"' || c == '`' || c == '$' || c == '\\'))
            argument += '\\';
        argument += c;
        if (c == '%')
            argument += '%';
    }
    if (needsQuotes)
        argument += '"';

    // ...then the escapes of every string value, which a reader undoes first.
    std::string value;
    for (const char c : argument) {
        switch (c) {
        case '\\': value += "\\\\"; break;
        case '\n': value += "\\n"; break;
        case '\t': value += "\\t"; break;
        case '\r': value += "\\r"; break;
        default: value += c; break;
        }
    }
    return value;
}

std::string XdgAutostart::entryText() const
{
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Brindle\n"
           "Comment=Keeps a rolling backup of your coding agent's files\n"
           "Exec=" + execValueFor(programPath_) + "\n"
           "Icon=" + std::string(kAppId) + "\n"
           "Terminal=false\n"
           "StartupNotify=false\n"
           "X-GNOME-Autostart-enabled=true\n"
           // Long enough for the panel to come up, short enough that the
           // launch backup still happens right after login.
           "X-GNOME-Autostart-Delay=5\n"
           "X-LXQt-Need-Tray=true\n"
           "X-KDE-autostart-after=panel\n";
}

XdgAutostart::Status XdgAutostart::status() const
{
    if (entryPath_.empty())
        return notRegistered;
    Descriptor fd(::open(entryPath_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0)
        return notRegistered;
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return notRegistered;

    // Entries are a few hundred bytes; a huge file is not one of ours and
    // reading its head is enough to decide.
    std::string text;
    char chunk[4096];
    while (text.size() < (1u << 20)) {
        const ssize_t got = ::read(fd.get(), chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return notRegistered;
        if (got == 0)
            break;
        text.append(chunk, static_cast<size_t>(got));
    }
    return entryIsActive(text) ? enabled : notRegistered;
}

void XdgAutostart::registerService() const
{
    if (entryPath_.empty())
        throw AutostartError(
            "Could not write the launch-at-login entry: neither XDG_CONFIG_HOME nor HOME names "
            "a folder to keep it in.",
            {}, {});
    if (programPath_.empty() || !programPath_.is_absolute())
        failToWrite(entryPath_, "the location of the running program is unknown");
    if (!isValidUtf8(programPath_.native()))
        failToWrite(entryPath_, "the program's path " + quotedPath(programPath_)
                                    + " is not UTF-8 text, which a desktop entry cannot hold");

    const fs::path folder = entryPath_.parent_path();
    ensureFolder(folder, entryPath_);

    // The temporary name does not end in ".desktop", so a session that lists
    // the folder meanwhile never starts a half-written entry.
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on "." + a temporary string.
    std::string hidden(".");
    hidden.append(entryPath_.filename().native()).append(".XXXXXX");
    std::string temporary = (folder / hidden).native();
    Descriptor fd(::mkstemp(temporary.data()));
    if (fd.get() < 0)
        failToWrite(entryPath_, errno);

    try {
        if (::fchmod(fd.get(), 0644) != 0)
            failToWrite(entryPath_, errno);
        writeAll(fd.get(), entryText(), entryPath_);
        if (::fsync(fd.get()) != 0)
            failToWrite(entryPath_, errno);
        if (::close(fd.release()) != 0)
            failToWrite(entryPath_, errno);
        if (::rename(temporary.c_str(), entryPath_.c_str()) != 0)
            failToWrite(entryPath_, errno);
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }

    // Without this the rename may not survive a power cut.
    Descriptor folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFd.get() < 0)
        failToWrite(entryPath_, errno);
    if (::fsync(folderFd.get()) != 0 && errno != EINVAL)
        failToWrite(entryPath_, errno);
}

void XdgAutostart::unregisterService() const
{
    if (entryPath_.empty())
        return;
    if (::unlink(entryPath_.c_str()) != 0) {
        const int error = errno;
        if (error == ENOENT)
            return;
        // unlink on a folder reports EISDIR on Linux but EPERM elsewhere;
        // say what is actually there.
        struct stat info {};
        if (::lstat(entryPath_.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
            throw AutostartError("Could not remove " + quotedPath(entryPath_)
                                     + ": it is a folder, not a desktop entry file.",
                                 entryPath_, std::error_code(error, std::generic_category()));
        throw AutostartError("Could not remove " + quotedPath(entryPath_) + ": " + plainReason(error)
                                 + ".",
                             entryPath_, std::error_code(error, std::generic_category()));
    }
    // The removal is done; making it durable is best effort, since
    // reporting a failure here would describe a change that did happen.
    Descriptor folderFd(::open(entryPath_.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFd.get() >= 0)
        ::fsync(folderFd.get());
}

}  // namespace brindle::desktop
