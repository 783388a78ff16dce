#pragma once

namespace brindle::shell {

enum class LaunchAtLoginStatus { notRegistered, enabled };

// Starting the application when the user logs in.
class LaunchAtLoginService {
public:
    virtual ~LaunchAtLoginService() = default;
    virtual LaunchAtLoginStatus status() = 0;
    // Each throws an exception whose what() describes the failure to the user.
    virtual void registerApplication() = 0;
    virtual void unregisterApplication() = 0;
};

}  // namespace brindle::shell
