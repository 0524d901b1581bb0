#include "link/portHolder.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

namespace {

std::vector<int> ProcessIds() {
    std::vector<int> pids;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) return pids;
    while (const dirent* entry = ::readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid > 0 && *end == '\0') pids.push_back(int(pid));
    }
    ::closedir(proc);
    return pids;
}

std::string CommandName(int pid) {
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

bool Alive(int pid) {
    struct stat st {};
    return pid > 0 && ::stat(("/proc/" + std::to_string(pid)).c_str(), &st) == 0;
}

// Descriptors of processes we may look into (our own user's, or all of them as root).
void ByOpenDescriptors(dev_t device, std::set<int>& pids) {
    for (int pid : ProcessIds()) {
        const std::string folder = "/proc/" + std::to_string(pid) + "/fd";
        DIR* fds = ::opendir(folder.c_str());
        if (fds == nullptr) continue;
        while (const dirent* entry = ::readdir(fds)) {
            if (entry->d_name[0] == '.') continue;
            struct stat st {};
            if (::stat((folder + "/" + entry->d_name).c_str(), &st) == 0 && S_ISCHR(st.st_mode) &&
                st.st_rdev == device) {
                pids.insert(pid);
                break;
            }
        }
        ::closedir(fds);
    }
}

// Lines such as "1: FLOCK  ADVISORY  WRITE 4211 00:05:3 0 EOF"; "->" marks a waiter, not a holder.
void ByLocks(const struct stat& node, std::set<int>& pids) {
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, where;
        int pid = 0;
        if (!(fields >> number >> kind) || kind == "->") continue;
        if (!(fields >> mode >> access >> pid >> where)) continue;
        unsigned major = 0, minor = 0;
        unsigned long inode = 0;
        if (std::sscanf(where.c_str(), "%x:%x:%lu", &major, &minor, &inode) != 3) continue;
        if (major == ::major(node.st_dev) && minor == ::minor(node.st_dev) && inode == node.st_ino)
            pids.insert(pid);
    }
}

// UUCP lock files (minicom, screen and others write them): the owner's process number as text.
void ByLockFiles(const std::string& path, std::set<int>& pids) {
    const std::string base = path.substr(path.find_last_of('/') + 1);
    for (const char* folder : {"/run/lock/", "/var/lock/"}) {
        std::ifstream file(std::string(folder) + "LCK.." + base);
        int pid = 0;
        if (file >> pid && Alive(pid)) pids.insert(pid);
    }
}

}  // namespace

std::vector<TPortHolder> PortHolders(const std::string& path) {
    std::vector<TPortHolder> holders;
    struct stat node {};
    if (::stat(path.c_str(), &node) != 0) return holders;
    std::set<int> pids;
    if (S_ISCHR(node.st_mode)) ByOpenDescriptors(node.st_rdev, pids);
    ByLocks(node, pids);
    ByLockFiles(path, pids);
    for (int pid : pids) holders.push_back({pid, CommandName(pid)});
    return holders;
}

std::string BusyText(const std::string& path) {
    const std::vector<TPortHolder> holders = PortHolders(path);
    std::string text;
    for (const TPortHolder& h : holders)
        text += (text.empty() ? "held by " : ", ") + h.Name + " (pid " + std::to_string(h.Pid) + ")";
    if (!text.empty()) return text;
    for (int pid : ProcessIds())
        if (CommandName(pid) == "ModemManager")
            return "another program holds it, perhaps ModemManager (pid " + std::to_string(pid) +
                   "), which opens new serial ports to look for modems";
    return "another program holds it";
}
