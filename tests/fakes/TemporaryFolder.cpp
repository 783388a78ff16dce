#include "tests/fakes/TemporaryFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace brindle::testing {

namespace fs = std::filesystem;

TemporaryFolder::TemporaryFolder(const Path& base) {
    std::string name = (base / "brindle-test-XXXXXX").string();
    if (mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp failed in " + base.string());
    path_ = name;
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
    return {std::istreambuf_iterator<char>(file), {}};
}

void makeFolder(const Path& path) { fs::create_directories(path); }

void makeLink(const std::string& target, const Path& link) {
    fs::create_directories(link.parent_path());
    if (symlink(target.c_str(), link.c_str()) != 0) throw std::runtime_error("could not link " + link.string());
}

std::map<std::string, std::string> treeOf(const Path& root) {
    std::map<std::string, std::string> tree;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        tree[it->path().lexically_relative(root).string()] =
            it->is_symlink()        ? "-> " + fs::read_symlink(it->path()).string()
            : it->is_directory()    ? "<dir>"
            : it->is_regular_file() ? readFile(it->path())
                                    : "<special>";
    }
    return tree;
}

Tree attributedTreeOf(const Path& root) {
    Tree tree = fs::is_directory(root) ? treeOf(root) : Tree{};
    tree[""] = fs::is_directory(root) ? "<dir>" : readFile(root);
    for (auto& [entry, contents] : tree) {
        struct stat status {};
        if ((entry.empty() ? stat(root.c_str(), &status) : lstat((root / entry).c_str(), &status)) != 0)
            throw std::runtime_error("could not examine " + (root / entry).string());
        contents = std::to_string(status.st_mode) + ", " + std::to_string(status.st_mtim.tv_sec) + "." +
                   std::to_string(status.st_mtim.tv_nsec) + ": " + contents;
    }
    return tree;
}

}  // namespace brindle::testing
