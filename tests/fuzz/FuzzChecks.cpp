#include "tests/fuzz/FuzzChecks.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <numeric>
#include <sstream>
#include <nlohmann/json.hpp>

#include "BrindleCore/BackupManifest.h"
#include "BrindleCore/BackupSettings.h"
#include "BrindleCore/JsonReadError.h"
#include "BrindleCore/JsonWriter.h"
#include "BrindleCore/Machine.h"
#include "BrindleCore/SnapshotNames.h"
#include "BrindleCore/Utf8.h"

namespace brindle::fuzz {

namespace {

void require(bool holds, const char* property) {
    if (holds) return;
    std::fprintf(stderr, "property violated: %s\n", property);
    std::abort();
}

// Reading fails only with JsonReadError; whatever it reads is written in a form that
// reads back as the same record (compared whole, so it writes the same bytes again).
template <class Record>
void checkReader(std::string_view input, Record (*read)(std::string_view)) {
    Record record;
    try {
        record = read(input);
    } catch (const JsonReadError&) {
        return;
    }
    const std::string written = toJson(record);
    require(read(written) == record, "read back as written");
}

}  // namespace

void checkSettingsReader(std::string_view input) { checkReader(input, backupSettingsFromJson); }
void checkManifestReader(std::string_view input) { checkReader(input, backupManifestFromJson); }

void checkJsonWriter(std::string_view input) {
    const std::string text(input);
    const std::string written = writeJson({{text, {text, -1}}});
    nlohmann::json parsed = nlohmann::json::parse(written, nullptr, false);
    require(!parsed.is_discarded(), "the writer's output is valid JSON");
    const std::string expected = validUtf8(text);
    require(parsed.size() == 1 && parsed.begin().key() == expected, "keys read back as their valid UTF-8");
    require(parsed.begin().value()[0].get<std::string>() == expected, "strings read back as their valid UTF-8");
}

void checkMachineName(std::string_view input) {
    const std::string name = Machine::sanitizedName(input);
    require(!name.empty(), "never empty");
    require(isValidUtf8(name), "valid UTF-8");
    require(name.find('/') == std::string::npos && name != "." && name != "..", "one safe folder name");
    require(name.front() != '-' && name.front() != '_' && name.back() != '-' && name.back() != '_', "trimmed");
    require(Machine::sanitizedName(name) == name, "sanitising is idempotent");
}

void checkNameRules(std::string_view input) {
    if (auto day = snapshotDay(input)) {
        require(input.size() == 10, "a snapshot name is ten characters");
        char text[16];
        std::snprintf(text, sizeof text, "%04d-%02d-%02d", *day / 10000, *day / 100 % 100, *day % 100);
        require(input == text, "a snapshot name is its own date");
    }
    const auto base = numberedCopyBaseName(input);
    if (base) require(!base->empty(), "a numbered copy has a base name");
    // For printable ASCII every character is its own grapheme and a space the only
    // blank, so the rule is a plain split into words: an independent answer.
    if (std::all_of(input.begin(), input.end(), [](char c) { return c >= 0x20 && c < 0x7F; })) {
        std::istringstream text {std::string(input)};
        std::vector<std::string> words {std::istream_iterator<std::string>(text), {}};
        std::optional<std::string> expected;
        if (words.size() >= 2 && words.back().find_first_not_of("0123456789") == std::string::npos) {
            words.pop_back();
            expected = std::accumulate(words.begin() + 1, words.end(), words.front(),
                                       [](const std::string& a, const std::string& b) { return a + " " + b; });
        }
        require(base == expected, "ASCII names split at spaces");
    }
}

}  // namespace brindle::fuzz
