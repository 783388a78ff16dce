#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "BrindleApp/shell/Alerts.h"
#include "BrindleApp/shell/FolderChooser.h"
#include "tests/fakes/Journal.h"

namespace brindle::testing {

struct ShownAlert {
    std::string messageText;
    std::string informativeText;
};

// Each alert "stays up" while whileOpen runs; a test passes time there, as the event
// loop under a real modal alert would.
class FakeAlerts final : public shell::Alerts {
public:
    explicit FakeAlerts(Journal& journal) : journal_(journal) {}

    void showError(const std::string& messageText, const std::string& informativeText) override {
        journal_.record("alert " + messageText);
        shown.push_back({messageText, informativeText});
        ++open;
        if (whileOpen) whileOpen();
        --open;
    }

    std::vector<ShownAlert> shown;
    int open = 0;
    std::function<void()> whileOpen;

private:
    Journal& journal_;
};

// Answers with `answer` (nothing: cancelled) after running whileOpen.
class FakeFolderChooser final : public shell::FolderChooser {
public:
    explicit FakeFolderChooser(Journal& journal) : journal_(journal) {}

    std::optional<Path> chooseFolder(const shell::FolderChooserOptions& options) override {
        journal_.record("chooseFolder");
        shownWith.push_back(options);
        ++open;
        if (whileOpen) whileOpen();
        --open;
        return answer;
    }

    std::optional<Path> answer;
    std::vector<shell::FolderChooserOptions> shownWith;
    int open = 0;
    std::function<void()> whileOpen;

private:
    Journal& journal_;
};

}  // namespace brindle::testing
