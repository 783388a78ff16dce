#include "BrindleCore/BackupItem.h"

#include "BrindleCore/JsonReader.h"
#include "BrindleCore/JsonWriter.h"

namespace brindle {

std::string toJson(const BackupItem& item) {
    return writeJson({
        {"id", item.id},
        {"displayName", item.displayName},
        {"sourcePath", item.sourcePath},
        {"destinationPath", item.destinationPath},
        {"excludedRelativePaths", item.excludedRelativePaths},
        {"required", item.required},
    });
}

BackupItem backupItemFromJson(std::string_view json) {
    using namespace json_reader;
    const std::string what = "backup item";
    auto object = parseObject(json, what);
    BackupItem item;
    item.id = requireString(object, "id", what);
    item.displayName = requireString(object, "displayName", what);
    item.sourcePath = requireString(object, "sourcePath", what);
    item.destinationPath = requireString(object, "destinationPath", what);
    item.excludedRelativePaths = requireStringArray(object, "excludedRelativePaths", what);
    item.required = requireBool(object, "required", what);
    return item;
}

}  // namespace brindle
