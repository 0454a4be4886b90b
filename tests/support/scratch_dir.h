// A folder of the test's own in the temporary directory, made with mkdtemp
// (so no name another user could plant first) and removed with everything
// in it when it goes, whatever modes the test left on the way.
#pragma once

#include <string>

namespace olvani_test {

class ScratchDir {
public:
    explicit ScratchDir(const std::string& prefix = "olvani-test");
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

} // namespace olvani_test
