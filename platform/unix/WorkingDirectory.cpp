#include "platform/unix/WorkingDirectory.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

#include "base/TextUtil.h"

SString currentDirectory() {
    std::vector<char> buffer(1024);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) {
            return SString();
        }
        buffer.resize(buffer.size() * 2);
    }
    return SString(buffer.data());
}

SString absolutePath(const SString& path) {
    if (path.empty() || path.c_str()[0] == '/') {
        return path;
    }
    SString absolute = currentDirectory();
    appendPathSeparator(absolute);
    return absolute += path;
}
