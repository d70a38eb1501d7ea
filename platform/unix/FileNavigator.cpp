#include "platform/unix/FileNavigator.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/TextUtil.h"
#include "platform/unix/FileDescriptor.h"
#include "platform/unix/PlatformImpl.h"

namespace {

// Owns an open directory stream for the reading of one directory.
class DirectoryStream {
public:
    // O_NOFOLLOW: if the directory was swapped for a symbolic link since it was examined, the
    // open fails instead of walking into the link's target.
    explicit DirectoryStream(const SString& path) : m_dir(nullptr) {
        FileDescriptor fd(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!fd.isOpen()) {
            return;
        }
        m_dir = fdopendir(fd.get());
        if (m_dir != nullptr) {
            // The stream owns the descriptor now; closedir closes it.
            fd.release();
        }
    }
    DirectoryStream(const DirectoryStream&) = delete;
    DirectoryStream& operator=(const DirectoryStream&) = delete;
    ~DirectoryStream() {
        if (m_dir != nullptr) {
            closedir(m_dir);
        }
    }

    bool isOpen() const { return m_dir != nullptr; }
    // The next entry, or null at the end (or on a read error, which ends the directory too).
    const dirent* next() { return readdir(m_dir); }

private:
    DIR* m_dir;
};

bool isDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// The entry type that readdir reports spares an lstat per entry; file systems that do not
// report it (DT_UNKNOWN) get the lstat. Both agree: DT_DIR is never given for a link.
bool entryIsDirectory(const dirent* entry, const SString& path) {
#ifdef _DIRENT_HAVE_D_TYPE
    if (entry->d_type != DT_UNKNOWN) {
        return entry->d_type == DT_DIR;
    }
#else
    (void)entry;
#endif
    return FileNavigator::isDirectory(path.c_str());
}

}  // namespace

FileNavigator::FileNavigator(bool cancelable) : m_cancelable(cancelable) {}

FileNavigator::~FileNavigator() = default;

bool FileNavigator::process(const SString& root) {
    m_stack.clear();
    m_stack.push_back(root);
    long fileCount = 0;
    bool stop = false;
    while (m_stack.size() > 0 && !stop && !isCanceled()) {
        SString dir = m_stack.back();
        m_stack.erase(m_stack.size() - 1);
        if (!skipDirectory(dir)) {
            stop = readDirectory(dir, fileCount);
        }
    }
    return stop;
}

bool FileNavigator::readDirectory(const SString& dir, long& fileCount) {
    DirectoryStream stream(dir);
    if (!stream.isOpen()) {
        return false;
    }
    SString prefix(dir);
    appendPathSeparator(prefix);
    bool stop = false;
    const dirent* entry;
    while (!stop && !isCanceled() && (entry = stream.next()) != nullptr) {
        if (isDotOrDotDot(entry->d_name)) {
            continue;
        }
        SString path(prefix);
        path += entry->d_name;
        if (entryIsDirectory(entry, path)) {
            m_stack.push_back(path);
            continue;
        }
        stop = processFile(path);
        ++fileCount;
        if (fileCount % kFilesPerProgressStep == 0) {
            PlatformImpl::advanceUIProgress(1);
        }
    }
    return stop;
}

bool FileNavigator::skipDirectory(const SString& /*dir*/) {
    return false;
}

bool FileNavigator::isCanceled() const {
    // A launcher asked to stop walks no further, whether or not the walk may be canceled.
    return (m_cancelable && PlatformImpl::isCanceled()) || PlatformImpl::terminatingSignal() != 0;
}

bool FileNavigator::isDirectory(const char* path) {
    struct stat info;
    return lstat(path, &info) == 0 && S_ISDIR(info.st_mode);
}
