#include "BrindleCore/BackupItem.h"

namespace brindle::DefaultBackupItems {

std::vector<BackupItem> items(const Path& homeDirectory) {
    const std::string codex = standardized(homeDirectory / ".codex").string();
    const std::string agents = standardized(homeDirectory / ".agents").string();
    return {
        {"codex-automations", "Codex automations", codex + "/automations", "Codex/automations", {".run-jitter-salt"}, false},
        {"codex-agents", "Global AGENTS.md", codex + "/AGENTS.md", "Codex/AGENTS.md", {}, false},
        {"codex-config", "Codex config", codex + "/config.toml", "Codex/config.toml", {}, false},
        {"codex-rules", "Codex rules", codex + "/rules", "Codex/rules", {}, false},
        {"codex-skills", "Custom Codex skills", codex + "/skills", "Codex/skills", {".system", "codex-primary-runtime"}, false},
        {"agent-skills", "Agent skills", agents + "/skills", "Agents/skills", {}, false},
    };
}

}  // namespace brindle::DefaultBackupItems
