#pragma once

#include <string>

#include "BrindleCore/FileManager.h"

namespace brindle::desktop {

// Launch at login through the XDG autostart convention: a desktop entry in
// <configuration folder>/autostart named after the application id, which desktop
// sessions read when the user logs in. Its failures are the file service's errors,
// whose sentences name the entry and the reason.
class XdgAutostart {
public:
    // `programPath` is the absolute path the entry starts.
    XdgAutostart(FileManager& fileManager, const Path& configHome, Path programPath);

    // The entry for the current user and the running program.
    static XdgAutostart forCurrentProcess();
    // The absolute path of the running executable, or empty if the system does not say.
    static Path runningProgramPath();
    // The Exec value that starts `program` with no arguments, quoted as desktop entries
    // require (before the escapes of every string value, which the key file adds).
    static std::string execArgumentFor(const Path& program);

    const Path& entryPath() const { return entryPath_; }

    // Whether the session will start the entry: a readable desktop entry that is not
    // Hidden nor switched off for GNOME.
    bool isEnabled() const;
    // Writes the entry atomically, replacing any previous one.
    void enable() const;
    // Removes the entry; an entry that is already gone is success.
    void disable() const;

    // The complete text enable() writes.
    std::string entryText() const;

private:
    FileManager& fileManager_;
    Path programPath_;
    Path entryPath_;
};

}  // namespace brindle::desktop
