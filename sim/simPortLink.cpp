#include "sim/simPortLink.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sim {

namespace {
bool MakeFolders(const std::string& folder) {
    for (size_t pos = 1; pos <= folder.size(); ++pos) {
        if (pos != folder.size() && folder[pos] != '/') continue;
        const std::string part = folder.substr(0, pos);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ReadLink(const std::string& path) {
    char buf[4096];
    const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
    if (n < 0) return {};
    return std::string(buf, size_t(n));
}
}  // namespace

bool TSimPortLink::Create(const std::string& folder, const std::string& target, std::string& error) {
    Remove();
    if (!MakeFolders(folder)) {
        error = "cannot make the port folder " + folder + ": " + std::strerror(errno);
        return false;
    }
    for (int n = 0; n < 1000; ++n) {
        const std::string path = folder + "/sim" + std::to_string(n);
        if (::symlink(target.c_str(), path.c_str()) == 0) {
            path_ = path;
            target_ = target;
            return true;
        }
        if (errno != EEXIST) {
            error = "cannot make the link " + path + ": " + std::strerror(errno);
            return false;
        }
        // A simulator that was killed leaves its link behind; its target is gone, so the name is free.
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 && errno == ENOENT) {
            struct stat lst {};
            if (::lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
                ::unlink(path.c_str());
                if (::symlink(target.c_str(), path.c_str()) == 0) {
                    path_ = path;
                    target_ = target;
                    return true;
                }
            }
        }
    }
    error = "no free simN name in " + folder;
    return false;
}

void TSimPortLink::Remove() {
    if (path_.empty()) return;
    if (ReadLink(path_) == target_) ::unlink(path_.c_str());
    path_.clear();
    target_.clear();
}

}  // namespace sim
