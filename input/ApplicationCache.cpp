#include "input/ApplicationCache.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <numeric>
#include <set>
#include <utility>

#include "base/Sha256.h"
#include "input/FileIndexEntry.h"
#include "input/LauncherFile.h"
#include "platform/unix/DeleteFullDir.h"
#include "platform/unix/FileDescriptor.h"
#include "platform/unix/UserCache.h"

namespace {

const char kFilesDirectory[] = "app";
const char kIndexDirectory[] = "app-index";
const char kIndexHeader[] = "qvlauncher application index 1";
const size_t kMaxIndexBytes = size_t{1024} * 1024;
// Index files beyond this many are removed oldest first: each launcher file has one, and a
// rebuilt launcher is a new file.
const size_t kMaxIndexFiles = 256;
// An application used this recently may be running on its files: they are never removed.
const time_t kInUseSeconds = 60;
const unsigned long long kDefaultLimitMiB = 1024;
const size_t kCopyBuffer = size_t{64} * 1024;

typedef std::pair<long, long> Placement;  // offset and length in the launcher file

struct Known {
    std::string digest;
    std::string identity;  // of the cached copy when it was last checked
};

// What this process knows: the index of its launcher file and the files it served.
struct State {
    std::string filesDirectory;  // both made and checked once per process
    std::string indexDirectory;
    std::string indexName;
    bool indexLoaded = false;
    std::map<Placement, Known> index;
    std::map<Placement, std::string> served;
    std::vector<std::string> servedOrder;
    std::set<std::string> servedDigests;
};

State& state() {
    static State instance;
    return instance;
}

std::string toStd(const SString& text) {
    return std::string(text.c_str(), text.length());
}

// A name the cache can keep as a file of a directory: one path component.
bool isPlainName(const std::string& name) {
    return !name.empty() && name.size() <= 255 && name != "." && name != ".." &&
           name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

bool isHexDigest(const std::string& text) {
    return text.size() == 64 && std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

// The digest of the embedded file's bytes, read through the launcher file; empty on a read error.
std::string embeddedDigest(const FileIndexEntry& entry) {
    Sha256 hash;
    const bool read = entry.forEachChunk([&hash](const char* bytes, long count) {
        hash.add(bytes, static_cast<size_t>(count));
        return true;
    });
    return read ? hash.hexDigest() : std::string();
}

// The digest of an open file's bytes; empty on a read error.
std::string descriptorDigest(int fd) {
    Sha256 hash;
    std::string buffer(kCopyBuffer, '\0');
    for (;;) {
        ssize_t got = read(fd, &buffer[0], buffer.size());
        if (got == 0) {
            return hash.hexDigest();
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::string();
        }
        hash.add(buffer.data(), static_cast<size_t>(got));
    }
}

// True when path is the user's own read-only regular file of length bytes, not a link.
bool isUsableCopy(const std::string& path, long length, struct stat& info) {
    return lstat(path.c_str(), &info) == 0 && UserCache::isSafeOwnFile(info) &&
           (info.st_mode & S_IWUSR) == 0 && info.st_size == length;
}

// True when the file at path is a usable copy whose bytes have digest; identity receives the
// copy's identity.
bool holdsBytes(const std::string& path, long length, const std::string& digest,
                std::string& identity) {
    struct stat info;
    if (!isUsableCopy(path, length, info)) {
        return false;
    }
    FileDescriptor fd(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat opened;
    if (!fd.isOpen() || fstat(fd.get(), &opened) != 0 || opened.st_ino != info.st_ino ||
        opened.st_dev != info.st_dev || descriptorDigest(fd.get()) != digest) {
        return false;
    }
    identity = UserCache::fileIdentity(opened);
    return true;
}

// Copies the embedded file into a temporary file of directory, checks that what was copied has
// digest, syncs it and links it to path. True when path now holds the bytes: this copy, or the
// one another launcher linked first.
bool extractTo(const FileIndexEntry& entry, const std::string& directory, const std::string& path,
               const std::string& digest) {
    std::string temporary = directory + "/.extract.XXXXXX";
    FileDescriptor fd(mkostemp(&temporary[0], O_CLOEXEC));
    if (!fd.isOpen()) {
        return false;
    }
    Sha256 hash;
    bool copied = fchmod(fd.get(), 0444) == 0 &&
                  entry.forEachChunk([&hash, &fd](const char* bytes, long count) {
                      hash.add(bytes, static_cast<size_t>(count));
                      return UserCache::writeAll(fd.get(), bytes, static_cast<size_t>(count));
                  });
    // Synced before it gets its name: after a crash the name never shows a file that is short
    // of its bytes.
    copied = copied && hash.hexDigest() == digest && fdatasync(fd.get()) == 0;
    copied = fd.close() && copied;
    bool linked = copied && link(temporary.c_str(), path.c_str()) == 0;
    const bool lostRace = copied && !linked && errno == EEXIST;
    unlink(temporary.c_str());
    std::string identity;
    return linked || (lostRace && holdsBytes(path, entry.getLength(), digest, identity));
}

// A directory of the cache the user owns, made when missing; a link or a file in its place is
// removed first, another user's directory refused.
bool prepareEntryDirectory(const std::string& directory) {
    if (mkdir(directory.c_str(), 0700) != 0 && errno == EEXIST &&
        !UserCache::isSafeOwnDirectory(directory)) {
        struct stat info;
        if (lstat(directory.c_str(), &info) == 0 && !S_ISDIR(info.st_mode)) {
            unlink(directory.c_str());
            mkdir(directory.c_str(), 0700);
        }
    }
    return UserCache::isSafeOwnDirectory(directory);
}

void markUsed(const std::string& directory) {
    utimensat(AT_FDCWD, directory.c_str(), nullptr, AT_SYMLINK_NOFOLLOW);
}

unsigned long long parseNumber(const char* text, unsigned long long fallback) {
    if (text == nullptr || *text < '0' || *text > '9') {
        return fallback;
    }
    char* end = nullptr;
    errno = 0;
    unsigned long long value = std::strtoull(text, &end, 10);
    return errno == 0 && *end == '\0' ? value : fallback;
}

// The index of the launcher file entry was read from: placement → digest and identity.
void loadIndex(State& current, const std::string& indexDirectory) {
    current.indexLoaded = true;
    std::string content;
    if (!UserCache::readOwnFile(indexDirectory + "/" + current.indexName, kMaxIndexBytes,
                                content)) {
        return;
    }
    const std::string header = std::string(kIndexHeader) + "\n";
    if (content.compare(0, header.size(), header) != 0) {
        return;
    }
    size_t start = header.size();
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos) {
            return;
        }
        const std::string line = content.substr(start, end - start);
        start = end + 1;
        char digest[65];
        char identity[161];
        long offset = 0;
        long length = 0;
        // NOLINTNEXTLINE(cert-err34-c): a line that does not parse is skipped.
        if (std::sscanf(line.c_str(), "%ld %ld %64s %160s", &offset, &length, digest, identity) ==
                4 &&
            isHexDigest(digest)) {
            current.index[Placement(offset, length)] = Known{digest, identity};
        }
    }
}

void saveIndex(const State& current, const std::string& indexDirectory) {
    std::string content = std::string(kIndexHeader) + "\n";
    for (const auto& item : current.index) {
        content += std::to_string(item.first.first) + " " + std::to_string(item.first.second) +
                   " " + item.second.digest + " " + item.second.identity + "\n";
    }
    UserCache::replaceFile(indexDirectory, current.indexName, content);
}

struct Usage {
    std::string path;
    bool isDirectory;
    time_t lastUsed;
    unsigned long long bytes;
};

// The regular files directly in directory, with their sizes summed.
unsigned long long directoryBytes(const std::string& directory) {
    unsigned long long total = 0;
    DIR* listing = opendir(directory.c_str());
    if (listing == nullptr) {
        return 0;
    }
    while (const dirent* item = readdir(listing)) {
        struct stat info;
        if (item->d_name[0] != '.' || std::strncmp(item->d_name, ".extract.", 9) == 0) {
            if (lstat((directory + "/" + item->d_name).c_str(), &info) == 0 &&
                S_ISREG(info.st_mode)) {
                total += static_cast<unsigned long long>(info.st_size);
            }
        }
    }
    closedir(listing);
    return total;
}

// Every item directly in directory with its last use and size.
void listUsage(const std::string& directory, std::vector<Usage>& usage) {
    DIR* listing = opendir(directory.c_str());
    if (listing == nullptr) {
        return;
    }
    while (const dirent* item = readdir(listing)) {
        const std::string name = item->d_name;
        struct stat info;
        std::string path = directory;
        path += "/";
        path += name;
        if (name == "." || name == ".." || lstat(path.c_str(), &info) != 0) {
            continue;
        }
        const bool isDirectory = S_ISDIR(info.st_mode);
        usage.push_back(Usage{
            path, isDirectory, info.st_mtime,
            isDirectory ? directoryBytes(path) : static_cast<unsigned long long>(info.st_size)});
    }
    closedir(listing);
}

void removeOldIndexFiles(const std::string& indexDirectory) {
    std::vector<Usage> files;
    listUsage(indexDirectory, files);
    if (files.size() <= kMaxIndexFiles) {
        return;
    }
    std::sort(files.begin(), files.end(),
              [](const Usage& a, const Usage& b) { return a.lastUsed < b.lastUsed; });
    for (size_t i = 0; i + kMaxIndexFiles < files.size(); ++i) {
        unlink(files[i].path.c_str());
    }
}

// Removes the least recently used applications' files and class-data archives until the cache
// is within its limit, sparing what this process uses and what was used in the last minute.
void keepWithinLimit(const std::string& filesDirectory, const std::set<std::string>& inUse) {
    std::vector<Usage> usage;
    listUsage(filesDirectory, usage);
    const std::string root = UserCache::rootDirectory();
    listUsage(root + "/" + ApplicationCache::kClassArchiveDirectory, usage);
    unsigned long long total =
        std::accumulate(usage.begin(), usage.end(), 0ULL,
                        [](unsigned long long sum, const Usage& item) { return sum + item.bytes; });
    const unsigned long long limit = ApplicationCache::sizeLimit();
    if (total <= limit) {
        return;
    }
    std::sort(usage.begin(), usage.end(),
              [](const Usage& a, const Usage& b) { return a.lastUsed < b.lastUsed; });
    const time_t recent = std::time(nullptr) - kInUseSeconds;
    for (const Usage& item : usage) {
        const std::string name = item.path.substr(item.path.rfind('/') + 1);
        if (total <= limit || item.lastUsed > recent) {
            break;
        }
        if (inUse.count(name) != 0) {
            continue;
        }
        if (item.isDirectory) {
            DeleteFullDir().process(SString(item.path.c_str()));
        } else {
            unlink(item.path.c_str());
        }
        total -= item.bytes;
    }
}

}  // namespace

bool ApplicationCache::isEnabled() {
    const char* setting = std::getenv("QV_APP_CACHE");
    return setting == nullptr || std::strcmp(setting, "0") != 0;
}

unsigned long long ApplicationCache::sizeLimit() {
    const unsigned long long mib =
        parseNumber(std::getenv("QV_APP_CACHE_MAX_MB"), kDefaultLimitMiB);
    return mib * 1024 * 1024;
}

std::vector<std::string> ApplicationCache::servedFiles() {
    return state().servedOrder;
}

void ApplicationCache::resetForTest() {
    state() = State();
}

SString ApplicationCache::cachedPath(const FileIndexEntry& entry) {
    const LauncherFile* launcher = entry.launcherFile();
    const std::string name = toStd(entry.getName());
    if (!isEnabled() || launcher == nullptr || !launcher->isOpen() || !isPlainName(name)) {
        return SString();
    }
    State& current = state();
    const Placement placement(entry.getOffset(), entry.getLength());
    const auto served = current.served.find(placement);
    if (served != current.served.end()) {
        return SString(served->second.c_str());
    }
    if (!current.indexLoaded) {
        struct stat launcherInfo;
        current.filesDirectory = UserCache::prepareDirectory(kFilesDirectory);
        current.indexDirectory = UserCache::prepareDirectory(kIndexDirectory);
        if (current.filesDirectory.empty() || current.indexDirectory.empty() ||
            fstat(launcher->binaryFile().descriptor(), &launcherInfo) != 0) {
            return SString();
        }
        current.indexName = Sha256::of(UserCache::fileIdentity(launcherInfo)).substr(0, 32);
        loadIndex(current, current.indexDirectory);
    }
    const std::string& filesDirectory = current.filesDirectory;
    const std::string& indexDirectory = current.indexDirectory;

    Known& known = current.index[placement];
    std::string directory = filesDirectory + "/" + known.digest;
    std::string path = directory + "/" + name;
    struct stat info;
    bool extracted = false;
    if (known.digest.empty() || !isUsableCopy(path, entry.getLength(), info) ||
        UserCache::fileIdentity(info) != known.identity) {
        // Not known, or changed since it was last checked: the bytes decide.
        if (known.digest.empty()) {
            known.digest = embeddedDigest(entry);
        }
        directory = filesDirectory + "/" + known.digest;
        path = directory + "/" + name;
        if (known.digest.empty() || !prepareEntryDirectory(directory)) {
            current.index.erase(placement);
            return SString();
        }
        if (!holdsBytes(path, entry.getLength(), known.digest, known.identity)) {
            // Refused: another owner's file, a link, a writable or altered copy.
            unlink(path.c_str());
            if (!extractTo(entry, directory, path, known.digest) ||
                !holdsBytes(path, entry.getLength(), known.digest, known.identity)) {
                current.index.erase(placement);
                return SString();
            }
            extracted = true;
        }
        saveIndex(current, indexDirectory);
    }
    markUsed(directory);
    current.served[placement] = path;
    current.servedOrder.push_back(known.digest + "/" + name);
    current.servedDigests.insert(known.digest);
    if (extracted) {
        keepWithinLimit(filesDirectory, current.servedDigests);
        removeOldIndexFiles(indexDirectory);
    }
    return SString(path.c_str());
}
