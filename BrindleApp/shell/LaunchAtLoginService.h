#pragma once

namespace brindle::shell {

// The values keep the numbers the login-item service reports.
enum class LaunchAtLoginStatus {
    notRegistered = 0,
    enabled = 1,
    requiresApproval = 2,
    notFound = 3,
};

// Starting the application when the user logs in.
class LaunchAtLoginService {
public:
    virtual ~LaunchAtLoginService() = default;
    // Where the desktop has no such service, notFound.
    virtual LaunchAtLoginStatus status() = 0;
    // Each throws an exception whose what() describes the failure to the user.
    virtual void registerApplication() = 0;
    virtual void unregisterApplication() = 0;
};

}  // namespace brindle::shell
