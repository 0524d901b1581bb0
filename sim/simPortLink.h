// The symbolic link simN in the shared port folder through which the program's port list finds a
// running simulator.
#pragma once

#include <string>

namespace sim {

class TSimPortLink {
public:
    TSimPortLink() = default;
    ~TSimPortLink() { Remove(); }
    TSimPortLink(const TSimPortLink&) = delete;
    TSimPortLink& operator=(const TSimPortLink&) = delete;

    // Makes the first free simN in folder point to target; a stale link whose target has gone is
    // reused. Returns false with a reason when the folder or the link cannot be made.
    bool Create(const std::string& folder, const std::string& target, std::string& error);
    // Removes the link if it still points to our target.
    void Remove();
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    std::string target_;
};

}  // namespace sim
