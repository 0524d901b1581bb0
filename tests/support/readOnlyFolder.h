// A folder the program may not write into, even when the tests run as root: the folder's write bits
// are cleared and, for root, the calling thread gives up its file-permission override meanwhile.
#pragma once

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QString>
#include <string>

class TReadOnlyFolder {
public:
    explicit TReadOnlyFolder(const QString& path) : path_(path.toStdString()) {
        ::chmod(path_.c_str(), 0555);
        header_.version = _LINUX_CAPABILITY_VERSION_3;
        header_.pid = 0;
        if (syscall(SYS_capget, &header_, saved_) != 0) return;
        __user_cap_data_struct lowered[2] = {saved_[0], saved_[1]};
        const unsigned mask = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER);
        lowered[0].effective &= ~mask;
        lowered_ = syscall(SYS_capset, &header_, lowered) == 0;
    }
    ~TReadOnlyFolder() {
        if (lowered_) syscall(SYS_capset, &header_, saved_);
        ::chmod(path_.c_str(), 0755);
    }
    // Whether the folder really refuses new files for this thread.
    bool Effective() const {
        const std::string probe = path_ + "/.probe";
        const int fd = ::open(probe.c_str(), O_CREAT | O_WRONLY, 0644);
        if (fd < 0) return true;
        ::close(fd);
        ::unlink(probe.c_str());
        return false;
    }

private:
    std::string path_;
    __user_cap_header_struct header_{};
    __user_cap_data_struct saved_[2]{};
    bool lowered_ = false;
};
