#include "BrindleCore/FileManager.h"

namespace brindle {

Path standardized(const Path& path) {
    if (path.empty()) return path;
    Path normal = path.lexically_normal();
    std::string text = normal.string();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return Path(text);
}

Path appendingRelativePath(const Path& base, std::string_view relativePath) {
    Path result = base;
    std::size_t start = 0;
    while (start <= relativePath.size()) {
        std::size_t slash = relativePath.find('/', start);
        if (slash == std::string_view::npos) slash = relativePath.size();
        if (slash > start) result /= Path(std::string(relativePath.substr(start, slash - start)));
        start = slash + 1;
    }
    return result;
}

bool isSameOrInside(std::string_view path, std::string_view folder) {
    if (path.size() < folder.size() || path.compare(0, folder.size(), folder) != 0) return false;
    return path.size() == folder.size() || folder == "/" || path[folder.size()] == '/';
}

}  // namespace brindle
