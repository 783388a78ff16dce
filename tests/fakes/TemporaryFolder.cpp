#include "tests/fakes/TemporaryFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace brindle::testing {

namespace fs = std::filesystem;

TemporaryFolder::TemporaryFolder() : TemporaryFolder(fs::temp_directory_path()) {}

TemporaryFolder::TemporaryFolder(const Path& base) {
    std::string pattern = (base / "brindle-test-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = name.data();
}

TemporaryFolder::~TemporaryFolder() {
    std::error_code ignored;
    // Restore write bits that a test took away, so that everything can go.
    for (auto it = fs::recursive_directory_iterator(path_, fs::directory_options::skip_permission_denied, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored)) chmod(it->path().c_str(), 0700);
    }
    chmod(path_.c_str(), 0700);
    fs::remove_all(path_, ignored);
}

Path memoryBackedTemporaryBase() {
    std::error_code ignored;
    if (fs::is_directory("/dev/shm", ignored) && access("/dev/shm", W_OK | X_OK) == 0) return "/dev/shm";
    return fs::temp_directory_path();
}

void writeFile(const Path& path, const std::string& contents) {
    fs::create_directories(path.parent_path());
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << contents;
    if (!file) throw std::runtime_error("could not write " + path.string());
}

std::string readFile(const Path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error("could not read " + path.string());
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

void makeFolder(const Path& path) { fs::create_directories(path); }

void makeLink(const std::string& target, const Path& link) {
    fs::create_directories(link.parent_path());
    if (symlink(target.c_str(), link.c_str()) != 0) throw std::runtime_error("could not link " + link.string());
}

std::map<std::string, std::string> treeOf(const Path& root) {
    std::map<std::string, std::string> tree;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        std::string relative = it->path().lexically_relative(root).string();
        if (it->is_symlink()) {
            tree[relative] = "-> " + fs::read_symlink(it->path()).string();
        } else if (it->is_directory()) {
            tree[relative] = "<dir>";
        } else if (it->is_regular_file()) {
            tree[relative] = readFile(it->path());
        } else {
            tree[relative] = "<special>";
        }
    }
    return tree;
}

}  // namespace brindle::testing
