// A fresh private directory (mkdtemp) removed with its contents when the object goes.
#pragma once

#include <string>

namespace qoltsim {

class TempDir {
public:
    explicit TempDir(const std::string& prefix = "qoltsim");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; } // empty when it could not be made
    bool Valid() const { return !path_.empty(); }

private:
    std::string path_;
};

} // namespace qoltsim
