// The file side of the platform layer: the temporary directory, temporary files and
// directories with their cleanup lists, deletion, free space and byte order.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/LauncherException.h"
#include "base/TextUtil.h"
#include "platform/unix/BinaryFile.h"
#include "platform/unix/DeleteFullDir.h"
#include "platform/unix/FileNavigator.h"
#include "platform/unix/Log.h"
#include "platform/unix/PlatformImpl.h"
#include "platform/unix/SystemError.h"
#include "platform/unix/WorkingDirectory.h"

SString PlatformImpl::m_tempDir;
StringDeque PlatformImpl::m_sdqCreatedFiles;
StringDeque PlatformImpl::m_sdqCreatedDrs;
SString PlatformImpl::m_runDirectory;
SString PlatformImpl::m_launcherToDelete;

namespace {

const char kTempNamePrefix[] = "qvj";
// mkdtemp and mkstemp replace these six characters with a name no other file has.
const char kUniqueSuffix[] = "XXXXXX";

const char kDefaultTempDirectory[] = "/var/tmp/";

bool isAccessibleDirectory(const char* path) {
    struct stat info;
    return stat(path, &info) == 0 && S_ISDIR(info.st_mode) && access(path, W_OK | X_OK) == 0;
}

// The temporary directories refused so far in the run, each reported once.
std::set<std::string>& refusedDirectories() {
    static std::set<std::string> refused;
    return refused;
}

// In a directory that group or others may write to, only the sticky bit (as on /tmp) keeps
// them from renaming or removing entries they do not own: without it, someone could move our
// private directory aside and put their own files where we expect ours. Such a directory is
// refused, with one warning per directory and run. A path that cannot be examined is left to
// the creation, which reports why it fails.
bool isSafeTempDirectory(const SString& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || (info.st_mode & (S_IWGRP | S_IWOTH)) == 0 ||
        (info.st_mode & S_ISVTX) != 0) {
        return true;
    }
    if (refusedDirectories().insert(std::string(path.c_str(), path.size())).second) {
        SString record("Not using ");
        record += path;
        record +=
            " as the temporary directory: it is writable by group or others and has no "
            "sticky bit";
        Log::logMessage(record, LOG_WARNING);
    }
    return false;
}

// TMPDIR, when it names a directory we may create entries in, takes precedence over the
// configured temporary directory (the rule that tempnam followed), then comes the default.
// A relative TMPDIR is made absolute here: the names made from it are handed to children
// that run in other directories.
SString temporaryNameDirectory() {
    const char* fromEnvironment = std::getenv("TMPDIR");
    if (fromEnvironment != nullptr && fromEnvironment[0] != '\0' &&
        isAccessibleDirectory(fromEnvironment)) {
        SString directory = absolutePath(SString(fromEnvironment));
        if (isSafeTempDirectory(directory)) {
            return directory;
        }
    }
    SString configured = PlatformImpl::getSystemTempDirectory();
    if (isSafeTempDirectory(configured)) {
        return configured;
    }
    if (configured.compare(kDefaultTempDirectory) != 0 &&
        isSafeTempDirectory(SString(kDefaultTempDirectory))) {
        return SString(kDefaultTempDirectory);
    }
    throw LauncherException(
        "No safe temporary directory: each choice is writable by group or others and has no "
        "sticky bit. Name a private one with -qv:tempdir.");
}

// A writable, NUL-terminated "<dir>/qvjXXXXXX" for mkdtemp and mkstemp to fill in.
std::vector<char> uniqueNameTemplate() {
    SString path = temporaryNameDirectory();
    appendPathSeparator(path);
    path += kTempNamePrefix;
    path += kUniqueSuffix;
    return std::vector<char>(path.c_str(), path.c_str() + path.size() + 1);
}

// What a temporary file or directory was when we created it. At cleanup a listed path is
// removed only while it still names that object: in a temporary directory that others may
// write to, a name we made can be replaced by a link or by someone else's file, and removing
// through it would delete something that is not ours. The owner counts too, because a file
// system hands the inode number of a removed file to the next one created.
struct CreatedIdentity {
    dev_t device;
    ino_t inode;
    mode_t type;
    uid_t owner;

    bool isSameAs(const struct stat& info) const {
        return info.st_dev == device && info.st_ino == inode && (info.st_mode & S_IFMT) == type &&
               info.st_uid == owner;
    }
};

std::map<std::string, CreatedIdentity>& createdIdentities() {
    static std::map<std::string, CreatedIdentity> identities;
    return identities;
}

std::string key(const SString& path) {
    return std::string(path.c_str(), path.size());
}

void rememberIdentity(const SString& path, const struct stat& info) {
    createdIdentities()[key(path)] =
        CreatedIdentity{info.st_dev, info.st_ino, info.st_mode & S_IFMT, info.st_uid};
}

// Removes a listed path at cleanup. One we created goes only while it is still the same
// object; one that other code listed has no identity and is removed as found. Neither way
// follows a link.
void removeListed(const SString& path) {
    auto found = createdIdentities().find(key(path));
    if (found == createdIdentities().end()) {
        PlatformImpl::deleteFile(path);
        return;
    }
    const CreatedIdentity& created = found->second;
    struct stat now;
    if (lstat(path.c_str(), &now) != 0) {
        logDeleteFileFailure(path, errno);
        return;
    }
    if (!created.isSameAs(now)) {
        logReplacedEntry(path);
        return;
    }
    if (S_ISDIR(created.type)) {
        DeleteFullDir deletion;
        deletion.processIfUnchanged(path, created.device, created.inode);
    } else if (unlink(path.c_str()) != 0) {
        // unlink, unlike remove, never takes a directory that replaced the file meanwhile.
        logDeleteFileFailure(path, errno);
    }
}

// The launcher may be a copy made for one run, in a directory made for it: the directory
// goes too once nothing else is left in it. Results are ignored, the run is over.
void deleteLauncherCopy(const SString& launcher) {
    SString::size_type separator = launcher.rfind('/');
    SString directory = separator == SString::npos ? SString() : launcher.substr(0, separator);
    unlink(launcher.c_str());
    if (!directory.empty()) {
        rmdir(directory.c_str());
    }
}

void removeFirstEqual(StringDeque& list, const SString& path) {
    for (long i = 0; i < list.size(); ++i) {
        if (list.at(i).compare(path) == 0) {
            list.erase(i);
            return;
        }
    }
}

}  // namespace

SString PlatformImpl::getSystemTempDirectory() {
    if (m_tempDir.empty()) {
        m_tempDir = kDefaultTempDirectory;
    }
    return m_tempDir;
}

void PlatformImpl::setSystemTempDir(const SString& dir) {
    struct stat info;
    if (stat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        m_tempDir = dir;
    }
}

SString PlatformImpl::createTempSubDirectory() {
    std::vector<char> name = uniqueNameTemplate();
    if (mkdtemp(name.data()) == nullptr) {
        throwSystemError("", errno);
    }
    SString path(name.data());
    // mkdtemp made a private directory; what the name holds now is checked, since in a
    // directory that others may write to it could already be someone else's.
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) {
        throwSystemError("", errno);
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != geteuid()) {
        throwSystemError("", EEXIST);
    }
    rememberIdentity(path, info);
    m_sdqCreatedDrs.push_back(path);
    return path;
}

SString PlatformImpl::runDirectory() {
    if (m_runDirectory.empty()) {
        m_runDirectory = createTempSubDirectory();
    }
    return m_runDirectory;
}

SString PlatformImpl::createTempFile() {
    BinaryFile file;
    return createTempFile(file);
}

SString PlatformImpl::createTempFile(BinaryFile& file) {
    std::vector<char> name = uniqueNameTemplate();
    bool created = file.createUnique(name.data());
    SString path(name.data());
    struct stat info;
    if (!created || fstat(file.descriptor(), &info) != 0) {
        SString message("Error creating tmp file ");
        throw LauncherException(message += path);
    }
    rememberIdentity(path, info);
    m_sdqCreatedFiles.push_back(path);
    return path;
}

FileDescriptor PlatformImpl::createAnonymousTempFile() {
    SString directory = temporaryNameDirectory();
#ifdef O_TMPFILE
    FileDescriptor unnamed(open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (unnamed.isOpen() || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) {
        return unnamed;
    }
#endif
    // A file system without unnamed files: a new name, removed at once. Only a launcher killed
    // between the two calls leaves it.
    std::vector<char> name = uniqueNameTemplate();
    FileDescriptor named(mkostemp(name.data(), O_CLOEXEC));
    if (named.isOpen()) {
        unlink(name.data());
    }
    return named;
}

void PlatformImpl::addFileToCleanupList(const SString& path) {
    m_sdqCreatedFiles.push_back(path);
}

void PlatformImpl::removeFileFromCleanupList(const SString& path) {
    removeFirstEqual(m_sdqCreatedFiles, path);
}

void PlatformImpl::removeDirFromCleanupList(const SString& path) {
    removeFirstEqual(m_sdqCreatedDrs, path);
}

const StringDeque& PlatformImpl::getCleanupFiles() {
    return m_sdqCreatedFiles;
}

const StringDeque& PlatformImpl::getCleanupDirectories() {
    return m_sdqCreatedDrs;
}

void PlatformImpl::setLauncherToDelete(const SString& launcherFile) {
    m_launcherToDelete = launcherFile;
}

// Files go first: a listed file may lie inside a listed directory. The lists are kept, since
// cleanup runs once, at the very end of the run.
void PlatformImpl::cleanup() {
    for (long i = 0; i < m_sdqCreatedFiles.size(); ++i) {
        removeListed(m_sdqCreatedFiles.at(i));
    }
    for (long i = 0; i < m_sdqCreatedDrs.size(); ++i) {
        removeListed(m_sdqCreatedDrs.at(i));
    }
    if (!m_launcherToDelete.empty()) {
        deleteLauncherCopy(m_launcherToDelete);
    }
}

namespace {

// True when text, or one of the environment entries, holds path's last component, or when
// that component is not plain enough to be found in a command as written.
bool mayBeNamedIn(const SString& path, const SString& command, const StringDeque* environment) {
    const SString::size_type slash = path.find_last_of('/');
    const SString name = slash == SString::npos ? path : path.substr(slash + 1);
    const bool plain =
        !name.empty() && std::all_of(name.c_str(), name.c_str() + name.length(), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-';
        });
    if (!plain || command.find(name) != SString::npos) {
        return true;
    }
    for (long i = 0; environment != nullptr && i < environment->size(); ++i) {
        if (environment->at(i).find(name) != SString::npos) {
            return true;
        }
    }
    return false;
}

// Removes the entries of list that the command cannot use and keeps the others listed.
void removeUnnamed(StringDeque& list, const SString& command, const StringDeque* environment) {
    StringDeque kept;
    for (long i = 0; i < list.size(); ++i) {
        if (mayBeNamedIn(list.at(i), command, environment)) {
            kept.push_back(list.at(i));
        } else {
            removeListed(list.at(i));
        }
    }
    list.clear();
    for (long i = 0; i < kept.size(); ++i) {
        list.push_back(kept.at(i));
    }
}

}  // namespace

void PlatformImpl::removeCleanupEntriesNotNamedIn(const SString& command,
                                                  const StringDeque* environment) {
    removeUnnamed(m_sdqCreatedFiles, command, environment);
    removeUnnamed(m_sdqCreatedDrs, command, environment);
}

void PlatformImpl::resetTemporaryFiles() {
    m_tempDir.erase();
    m_sdqCreatedFiles.clear();
    m_sdqCreatedDrs.clear();
    m_runDirectory.erase();
    m_launcherToDelete.erase();
    createdIdentities().clear();
    refusedDirectories().clear();
}

void PlatformImpl::deleteFile(const SString& path) {
    if (FileNavigator::isDirectory(path.c_str())) {
        DeleteFullDir deletion;
        deletion.process(path);
    } else {
        deleteOneFile(path);
    }
}

bool PlatformImpl::fileExists(const SString& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

void PlatformImpl::setFileExecutable(const SString& path) {
    struct stat info;
    if (stat(path.c_str(), &info) == 0) {
        chmod(path.c_str(), (info.st_mode & 07777) | 0111);
    }
}

bool PlatformImpl::checkFreeSpace(const SString& path, long bytes) {
    // "." measures the working directory without having to spell out its path.
    const char* measured = !path.empty() && path[0] == '/' ? path.c_str() : ".";
    struct statvfs fileSystem;
    if (statvfs(measured, &fileSystem) != 0) {
        throwSystemError("", errno);
    }
    // Space is handed out in whole fragments. Doubles keep large file systems from
    // overflowing.
    double fragment = static_cast<double>(fileSystem.f_frsize);
    double needed = bytes > 0 ? static_cast<double>(bytes) : 0.0;
    if (fileSystem.f_frsize > 0 && bytes > 0 &&
        static_cast<unsigned long>(bytes) % fileSystem.f_frsize != 0) {
        // The fragments the bytes fill, the last one partly.
        unsigned long fragments = static_cast<unsigned long>(bytes) / fileSystem.f_frsize + 1;
        needed = static_cast<double>(fragments) * fragment;
    }
    double available = fragment * static_cast<double>(fileSystem.f_bavail);
    return available >= needed;
}

SString PlatformImpl::getPathSeparator() {
    return SString("/");
}

SString PlatformImpl::getPlatformHint(const SString& /*hint*/) {
    return SString();
}
