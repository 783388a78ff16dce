#include "BrindleCore/Machine.h"

#include <unicode/uchar.h>
#include <unistd.h>

#include <climits>
#include <fstream>
#include <sstream>

#include "BrindleCore/Utf8.h"

namespace brindle::Machine {

namespace {

bool isAllowed(UChar32 scalar) {
    if (scalar == '-' || scalar == '_') return true;
    return (U_GET_GC_MASK(scalar) & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) != 0;
}

std::string_view trimmed(std::string_view text) {
    const char* space = " \t\r";
    auto first = text.find_first_not_of(space);
    if (first == std::string_view::npos) return {};
    auto last = text.find_last_not_of(space);
    return text.substr(first, last - first + 1);
}

// One value as a shell would read it: '…' literal, "…" with \" \\ \$ \` escapes,
// unquoted text with backslash escapes; adjacent pieces join.
std::string unquoted(std::string_view value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        char c = value[i];
        if (c == '\'') {
            auto end = value.find('\'', i + 1);
            if (end == std::string_view::npos) end = value.size();
            out.append(value.substr(i + 1, end - i - 1));
            i = end;
        } else if (c == '"') {
            for (++i; i < value.size() && value[i] != '"'; ++i) {
                if (value[i] == '\\' && i + 1 < value.size() && std::string_view("\"\\$`").find(value[i + 1]) != std::string_view::npos)
                    ++i;
                out += value[i];
            }
        } else if (c == '\\' && i + 1 < value.size()) {
            out += value[++i];
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<std::string> readPrettyHostname() {
    std::ifstream file("/etc/machine-info");
    if (!file) return std::nullopt;
    std::stringstream text;
    text << file.rdbuf();
    return prettyHostnameFromMachineInfo(text.str());
}

std::string readHostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0) return {};
    return name;
}

}  // namespace

std::string sanitizedName(std::string_view name) {
    std::string out;
    forEachUtf8Piece(name, [&](const Utf8Piece& piece) {
        // An invalid byte sequence counts as one replaced scalar.
        if (piece.scalar && isAllowed(static_cast<UChar32>(*piece.scalar))) {
            out += piece.bytes;
        } else {
            out += '-';
        }
    });
    auto first = out.find_first_not_of("-_");
    if (first == std::string::npos) return "Mac";
    auto last = out.find_last_not_of("-_");
    return out.substr(first, last - first + 1);
}

std::optional<std::string> prettyHostnameFromMachineInfo(std::string_view text) {
    std::optional<std::string> result;
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        auto line = trimmed(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line.front() == '#' || line.front() == ';') continue;
        auto equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        if (trimmed(line.substr(0, equals)) != "PRETTY_HOSTNAME") continue;
        result = unquoted(trimmed(line.substr(equals + 1)));  // the last assignment wins
    }
    if (result && result->empty()) return std::nullopt;
    return result;
}

NameSources systemNameSources() { return {readPrettyHostname, readHostName}; }

std::string currentName(const NameSources& sources) {
    std::optional<std::string> visible = sources.userVisibleName ? sources.userVisibleName() : std::nullopt;
    return sanitizedName(visible && !visible->empty() ? *visible : sources.hostName());
}

std::string currentName() { return currentName(systemNameSources()); }

}  // namespace brindle::Machine
