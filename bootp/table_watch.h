// Tells whether the table file may have changed without asking the file
// system for its status on every request: an inotify watch on the file and
// on its folder (for a file replaced, moved or deleted by name) marks it
// possibly changed, and only then is it looked at again. Where a watch
// cannot be trusted (a network or FUSE file system, a path through a
// symbolic link, no inotify at all) it always answers "may have changed",
// so the caller checks every time as before.
#pragma once

#include <string>

class TableWatch {
public:
    TableWatch() = default;
    ~TableWatch();
    TableWatch(const TableWatch&) = delete;
    TableWatch& operator=(const TableWatch&) = delete;

    // Watches `path` from now on; call it before the file is read, so a
    // change during the read is seen. Watching the same path again follows
    // a file that was replaced. False when the path cannot be watched.
    bool Watch(const std::string& path);
    // True unless the watch is in place and has seen nothing since the last
    // call. Costs one non-blocking read.
    bool MayHaveChanged();
    // Stops watching; MayHaveChanged is then always true.
    void Stop();

private:
    int fd_ = -1;
    int fileWatch_ = -1;
    int folderWatch_ = -1;
    std::string path_;
    std::string name_; // the file's name in its folder
};
