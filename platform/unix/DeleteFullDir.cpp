#include "platform/unix/DeleteFullDir.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#include "base/TextUtil.h"
#include "platform/unix/FileDescriptor.h"
#include "platform/unix/Log.h"
#include "platform/unix/PlatformImpl.h"
#include "platform/unix/SystemError.h"

namespace {

// O_NOFOLLOW makes the open fail on a symbolic link instead of entering its target.
const int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

int openDirectoryAt(int parent, const char* name, int flags = kDirectoryFlags) {
    int fd;
    do {
        fd = openat(parent, name, flags);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool isDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

bool isDirectoryEntry(int dirFd, const dirent* entry) {
#ifdef _DIRENT_HAVE_D_TYPE
    if (entry->d_type != DT_UNKNOWN) {
        return entry->d_type == DT_DIR;
    }
#endif
    struct stat info;
    return fstatat(dirFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode);
}

// Reads the whole directory before anything in it is removed: readdir need not report every
// entry once when the directory changes under it. A read of its own descriptor leaves the
// offset of dirFd alone.
void listDirectory(int dirFd, std::vector<SString>& files, std::vector<SString>& directories) {
    FileDescriptor readFd(fcntl(dirFd, F_DUPFD_CLOEXEC, 0));
    if (!readFd.isOpen()) {
        return;
    }
    DIR* dir = fdopendir(readFd.get());
    if (dir == nullptr) {
        return;
    }
    // The stream owns the descriptor now; closedir closes it.
    readFd.release();
    rewinddir(dir);
    while (const dirent* entry = readdir(dir)) {
        if (isDotOrDotDot(entry->d_name)) {
            continue;
        }
        (isDirectoryEntry(dirFd, entry) ? directories : files).push_back(SString(entry->d_name));
    }
    closedir(dir);
}

void logMovedDuringDeletion(const SString& root, const SString& path) {
    SString line("Stopped deleting ");
    line += root;
    line += ": ";
    line += path;
    line += " was moved while it was being deleted";
    Log::logMessage(line, LOG_WARNING);
}

}  // namespace

bool deleteOneFile(const SString& path) {
    if (std::remove(path.c_str()) == 0) {
        return true;
    }
    logDeleteFileFailure(path, errno);
    return false;
}

void logDeleteFileFailure(const SString& path, int err) {
    SString line("Could not delete ");
    line += path;
    line += " :  ";
    line += systemErrorText(err);
    Log::logMessage(line, LOG_WARNING);
}

void logReplacedEntry(const SString& path) {
    SString line("Not deleting ");
    line += path;
    line += ": it is no longer what the launcher created";
    Log::logMessage(line, LOG_WARNING);
}

// One directory on the way from the root down. Only the name is kept, so that a deep tree
// costs memory in proportion to its depth, not to the square of it.
struct DeleteFullDir::Level {
    Level(const SString& levelName, const struct stat& info, FileDescriptor descriptor)
        : name(levelName), device(info.st_dev), inode(info.st_ino), fd(std::move(descriptor)) {}
    Level(const Level&) = delete;
    Level& operator=(const Level&) = delete;
    Level(Level&& other) noexcept = default;
    Level& operator=(Level&&) = delete;
    ~Level() = default;

    SString name;  // the root's path for the root, the entry name below it
    dev_t device;
    ino_t inode;
    FileDescriptor fd;  // closed to stay within the limit of open directories
    bool listed = false;
    bool keep = false;                    // something below could not be removed
    std::vector<SString> subdirectories;  // still to visit
};

DeleteFullDir::DeleteFullDir(int openDirectoryLimit)
    : FileNavigator(false),
      m_openDirectoryLimit(openDirectoryLimit > 0 ? openDirectoryLimit : 1),
      m_fileCount(0),
      m_firstOpen(0) {}

DeleteFullDir::~DeleteFullDir() = default;

bool DeleteFullDir::process(const SString& root) {
    deleteTree(root, nullptr);
    return false;
}

bool DeleteFullDir::processIfUnchanged(const SString& root, dev_t device, ino_t inode) {
    struct stat expected {};
    expected.st_dev = device;
    expected.st_ino = inode;
    deleteTree(root, &expected);
    return false;
}

bool DeleteFullDir::processFile(const SString& path) {
    deleteOneFile(path);
    return false;
}

SString DeleteFullDir::pathOf(std::size_t depth, const SString* name) const {
    SString path;
    for (std::size_t i = 0; i <= depth && i < m_levels.size(); ++i) {
        appendPathSeparator(path);
        path += m_levels[i].name;
    }
    if (name != nullptr) {
        appendPathSeparator(path);
        path += *name;
    }
    return path;
}

void DeleteFullDir::deleteTree(const SString& givenRoot, const struct stat* expected) {
    m_levels.clear();
    m_fileCount = 0;
    m_firstOpen = 0;
    // A trailing "/" would make the system resolve a link in the last component, O_NOFOLLOW or
    // not, and the walk would empty the link's target.
    SString::size_type length = givenRoot.size();
    while (length > 1 && givenRoot[length - 1] == '/') {
        --length;
    }
    const SString root = givenRoot.substr(0, length);
    FileDescriptor fd(openDirectoryAt(AT_FDCWD, root.c_str()));
    if (!fd.isOpen()) {
        int err = errno;
        if (err == ENOTDIR || err == ELOOP) {
            // Not a directory (any more): a link or file is removed itself, unless it had to
            // be the directory we made.
            if (expected != nullptr) {
                logReplacedEntry(root);
            } else {
                deleteOneFile(root);
            }
        } else if (err == ENOENT) {
            logDeleteFileFailure(root, err);
        } else if (rmdir(root.c_str()) != 0) {
            // An unreadable directory cannot be emptied; it goes only when it is empty.
            logDeleteFileFailure(root, errno);
        }
        return;
    }
    struct stat info;
    if (fstat(fd.get(), &info) != 0 || (expected != nullptr && (info.st_dev != expected->st_dev ||
                                                                info.st_ino != expected->st_ino))) {
        fd.reset();
        logReplacedEntry(root);
        return;
    }
    m_levels.emplace_back(root, info, std::move(fd));
    while (!m_levels.empty()) {
        Level& level = m_levels.back();
        if (!level.listed) {
            removeFiles();
        } else if (!level.subdirectories.empty()) {
            SString name = level.subdirectories.back();
            level.subdirectories.pop_back();
            descend(name);
        } else if (!ascend()) {
            break;
        }
    }
    m_levels.clear();
}

void DeleteFullDir::removeFiles() {
    Level& level = m_levels.back();
    level.listed = true;
    std::vector<SString> files;
    listDirectory(level.fd.get(), files, level.subdirectories);
    // listDirectory has just filled files.
    // cppcheck-suppress knownEmptyContainer
    for (const SString& name : files) {
        if (unlinkat(level.fd.get(), name.c_str(), 0) != 0) {
            int err = errno;
            if (err == EISDIR) {
                // Listed as a file, a directory now: empty it like the others.
                level.subdirectories.push_back(name);
                continue;
            }
            logDeleteFileFailure(pathOf(m_levels.size() - 1, &name), err);
        }
        ++m_fileCount;
        if (m_fileCount % kFilesPerProgressStep == 0) {
            PlatformImpl::advanceUIProgress(1);
        }
    }
}

void DeleteFullDir::descend(const SString& name) {
    Level& parent = m_levels.back();
    FileDescriptor fd(openDirectoryAt(parent.fd.get(), name.c_str()));
    struct stat info;
    if (fd.isOpen() && fstat(fd.get(), &info) == 0) {
        m_levels.emplace_back(name, info, std::move(fd));
        limitOpenDirectories();
        return;
    }
    int err = errno;
    fd.reset();
    if (err == ENOTDIR || err == ELOOP) {
        // Swapped for a link or a file since it was listed: that entry goes, as a link.
        if (unlinkat(parent.fd.get(), name.c_str(), 0) != 0 && errno != ENOENT) {
            logDeleteFileFailure(pathOf(m_levels.size() - 1, &name), errno);
        }
        return;
    }
    // Unreadable: it cannot be emptied, and goes only when it is empty already.
    if (unlinkat(parent.fd.get(), name.c_str(), AT_REMOVEDIR) != 0) {
        logDeleteFileFailure(pathOf(m_levels.size() - 1, &name), errno);
        parent.keep = true;
    }
}

bool DeleteFullDir::ascend() {
    const std::size_t depth = m_levels.size() - 1;
    if (depth == 0) {
        // The root is removed by its path; rmdir does not follow a link either.
        const SString root = m_levels.back().name;
        bool keep = m_levels.back().keep;
        m_levels.pop_back();
        if (!keep && rmdir(root.c_str()) != 0) {
            logDeleteFileFailure(root, errno);
        }
        return true;
    }
    if (!m_levels[depth - 1].fd.isOpen() && !reopenParent()) {
        logMovedDuringDeletion(m_levels[0].name, pathOf(depth));
        return false;
    }
    const SString path = pathOf(depth);
    Level& parent = m_levels[depth - 1];
    const Level& done = m_levels[depth];
    if (done.keep) {
        parent.keep = true;
    } else if (unlinkat(parent.fd.get(), done.name.c_str(), AT_REMOVEDIR) != 0) {
        logDeleteFileFailure(path, errno);
        parent.keep = true;
    }
    m_levels.pop_back();
    return true;
}

// ".." of the deepest directory is its parent unless someone moved it elsewhere meanwhile; the
// device and inode number recorded on the way down tell.
bool DeleteFullDir::reopenParent() {
    const std::size_t depth = m_levels.size() - 1;
    Level& parent = m_levels[depth - 1];
    FileDescriptor fd(
        openDirectoryAt(m_levels[depth].fd.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat info;
    if (!fd.isOpen() || fstat(fd.get(), &info) != 0 || info.st_dev != parent.device ||
        info.st_ino != parent.inode) {
        return false;
    }
    parent.fd = std::move(fd);
    m_firstOpen = depth - 1;
    return true;
}

// The open directories are always the deepest ones, from m_firstOpen down.
void DeleteFullDir::limitOpenDirectories() {
    while (m_levels.size() - m_firstOpen > static_cast<std::size_t>(m_openDirectoryLimit)) {
        m_levels[m_firstOpen].fd.reset();
        ++m_firstOpen;
    }
}
