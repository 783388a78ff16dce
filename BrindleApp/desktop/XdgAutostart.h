#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>

namespace brindle::desktop {

// A failure to change the autostart entry. what() is a complete sentence
// meant for the user: what failed, on which path, and why.
class AutostartError : public std::runtime_error {
public:
    AutostartError(const std::string& message, std::filesystem::path path,
                   std::error_code code);

    const std::filesystem::path& path() const noexcept { return path_; }
    // The operating system's reason, or an empty code when the failure is
    // Brindle's own (for instance a folder where a file belongs).
    std::error_code code() const noexcept { return code_; }

private:
    std::filesystem::path path_;
    std::error_code code_;
};

// The parts of the process environment that decide where the user's
// configuration lives. An unset variable is std::nullopt.
struct UserEnvironment {
    std::optional<std::string> xdgConfigHome;
    std::optional<std::string> home;

    // XDG_CONFIG_HOME and HOME of this process; HOME falls back to the
    // password database when the variable is unset.
    static UserEnvironment current();
};

// Launch at login through the XDG autostart convention: a desktop entry in
// <config home>/autostart named after the application id. Desktop sessions
// read that folder when the user logs in.
class XdgAutostart {
public:
    enum Status : int { notRegistered = 0, enabled = 1 };

    // configHome is the user's configuration folder (normally ~/.config);
    // programPath the absolute path that the entry starts.
    XdgAutostart(std::filesystem::path configHome,
                 std::filesystem::path programPath);

    // The entry for the current user and the running program.
    static XdgAutostart forCurrentProcess();

    // XDG_CONFIG_HOME when it is an absolute path, else HOME/.config; empty
    // when neither is usable.
    static std::filesystem::path configHomeFor(const UserEnvironment& environment);

    // The absolute path of the running executable, or empty if the system
    // does not say.
    static std::filesystem::path runningProgramPath();

    // The Exec value that starts `program` with no arguments, quoted and
    // escaped as desktop entry files require.
    static std::string execValueFor(const std::filesystem::path& program);

    const std::filesystem::path& entryPath() const noexcept { return entryPath_; }
    const std::filesystem::path& programPath() const noexcept { return programPath_; }

    // enabled when the entry exists as a readable file that the session will
    // start (not Hidden=true, not switched off for GNOME); notRegistered otherwise.
    Status status() const;

    // Writes the entry atomically, replacing any previous one. Throws
    // AutostartError.
    void registerService() const;

    // Removes the entry; an entry that is already gone is success. Throws
    // AutostartError.
    void unregisterService() const;

    // The complete text written by registerService().
    std::string entryText() const;

private:
    std::filesystem::path configHome_;
    std::filesystem::path programPath_;
    std::filesystem::path entryPath_;
};

}  // namespace brindle::desktop
