#include "jvm/VerifyCache.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "input/FileIndexEntry.h"
#include "platform/unix/FileDescriptor.h"
#include "platform/unix/UserCache.h"

namespace {

const char kFileName[] = "verify-cache";
const char kHeader[] = "qvlauncher verify cache 1";
const char kLockName[] = "verify-cache.lock";
// How long a launcher waits for another to finish its update before it leaves the cache as it
// is; an update holds the lock only to read, merge and write one small file.
constexpr std::chrono::seconds kLockPatience{5};
constexpr std::chrono::milliseconds kLockRetryInterval{2};

// An exclusive lock on the cache's lock file, held while the cache is read, merged and
// written, so that launchers updating the cache at once lose none of each other's entries.
class CacheLock {
public:
    explicit CacheLock(const std::string& path)
        : m_fd(open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600)) {
        if (!m_fd.isOpen()) {
            return;
        }
        const auto giveUp = std::chrono::steady_clock::now() + kLockPatience;
        while (flock(m_fd.get(), LOCK_EX | LOCK_NB) != 0) {
            if ((errno != EWOULDBLOCK && errno != EINTR) ||
                std::chrono::steady_clock::now() > giveUp) {
                m_fd.reset();
                return;
            }
            std::this_thread::sleep_for(kLockRetryInterval);
        }
    }
    CacheLock(const CacheLock&) = delete;
    CacheLock& operator=(const CacheLock&) = delete;
    bool isHeld() const { return m_fd.isOpen(); }

private:
    FileDescriptor m_fd;  // closing it releases the lock
};
// A file larger than this is not ours to read: it is ignored and rewritten.
const size_t kMaxFileSize = 4UL * 1024 * 1024;
// A verify class archive larger than this is keyed by its path instead of its bytes.
const off_t kMaxDigestedArchive = 16L * 1024 * 1024;

// Properties that describe the JVM itself and not the run or the machine's state.
const char* const kCacheableExact[] = {"os.arch", "os.name", "sun.arch.data.model",
                                       "sun.boot.library.path", "jdk.debug"};
const char* const kRunDependentJava[] = {"java.io.tmpdir", "java.library.path", "java.class.path",
                                         "java.ext.dirs"};
// Environment variables a JVM reads its options from.
const char* const kOptionVariables[] = {"JAVA_TOOL_OPTIONS", "_JAVA_OPTIONS", "JDK_JAVA_OPTIONS"};

std::string toStd(const SString& text) {
    return std::string(text.c_str(), text.length());
}

// Stored texts keep to one line: the bytes that would break a line, and the escape itself,
// are written as %XX.
std::string escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '%' || c == '\n' || c == '\r' || c == '\0') {
            char code[4];
            // NOLINTNEXTLINE(cert-err33-c): "%" and two hex digits fill the buffer exactly.
            std::snprintf(code, sizeof code, "%%%02X", static_cast<unsigned char>(c));
            out += code;
        } else {
            out += c;
        }
    }
    return out;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool unescape(const std::string& text, std::string& out) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        int high = i + 1 < text.size() ? hexValue(text[i + 1]) : -1;
        int low = i + 2 < text.size() ? hexValue(text[i + 2]) : -1;
        if (high < 0 || low < 0) {
            return false;
        }
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

// FNV-1a over a stream of bytes, with their count: enough to tell one verify class archive
// from another.
class ArchiveDigest {
public:
    void add(const char* bytes, long count) {
        for (long i = 0; i < count; ++i) {
            m_hash = (m_hash ^ static_cast<unsigned char>(bytes[i])) * 1099511628211ULL;
        }
        m_total += static_cast<unsigned long long>(count);
    }
    // The same text for the same bytes, wherever they were read from: an archive on disk and
    // the launcher's embedded one share one form, so an answer does not depend on which it was.
    std::string text(const std::string& className) const {
        char digits[64];
        // NOLINTNEXTLINE(cert-err33-c): 16 hex digits, a colon and at most 20 digits fit.
        std::snprintf(digits, sizeof digits, "%016llx:%llu",
                      static_cast<unsigned long long>(m_hash), m_total);
        return std::string("archive=") + digits + " class=" + className;
    }

private:
    std::uint64_t m_hash = 14695981039346656037ULL;
    unsigned long long m_total = 0;
};

bool digestFile(const std::string& path, ArchiveDigest& digest) {
    FileDescriptor fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.isOpen()) {
        return false;
    }
    char buffer[8192];
    ssize_t got;
    while ((got = read(fd.get(), buffer, sizeof buffer)) != 0) {
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        digest.add(buffer, got);
    }
    return true;
}

}  // namespace

VerifyCache& VerifyCache::instance() {
    static VerifyCache cache;
    return cache;
}

bool VerifyCache::isCacheable(const StringDeque& propertyNames) {
    for (long i = 0; i < propertyNames.size(); ++i) {
        const SString& name = propertyNames.at(i);
        bool cacheable = false;
        if (name.compare(0, 5, "java.") == 0) {
            cacheable = true;
            for (const char* excluded : kRunDependentJava) {
                cacheable = cacheable && name.compare(excluded) != 0;
            }
        }
        for (const char* exact : kCacheableExact) {
            cacheable = cacheable || name.compare(exact) == 0;
        }
        if (!cacheable) {
            return false;
        }
    }
    return true;
}

std::string VerifyCache::verifyClassIdentity(const SString& classpath, const SString& className) {
    std::string path = toStd(classpath);
    if (path.size() >= 2 && path.front() == '"' && path.back() == '"') {
        path = path.substr(1, path.size() - 2);
    }
    struct stat info;
    ArchiveDigest digest;
    if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        info.st_size <= kMaxDigestedArchive && digestFile(path, digest)) {
        return digest.text(toStd(className));
    }
    return "classpath=" + toStd(classpath) + " class=" + toStd(className);
}

std::string VerifyCache::embeddedClassIdentity(const FileIndexEntry& archive,
                                               const SString& className) {
    if (archive.getLength() > kMaxDigestedArchive) {
        return std::string();
    }
    ArchiveDigest digest;
    const bool read = archive.forEachChunk([&digest](const char* bytes, long count) {
        digest.add(bytes, count);
        return true;
    });
    return read ? digest.text(toStd(className)) : std::string();
}

bool VerifyCache::makeKey(const SString& executable, const SString& jvmHome,
                          const std::string& verifyClassIdentity, const SString& runOptions,
                          const StringDeque& propertyNames, Key& key) {
    std::string exeId;
    if (verifyClassIdentity.empty() ||
        !UserCache::resolvedIdentity(toStd(executable), key.executable, exeId)) {
        return false;
    }
    std::string text = "exe=" + key.executable + "=" + exeId;
    text += "\x1fimage=" + UserCache::runtimeImageIdentity(toStd(jvmHome));
    text += "\x1f" + verifyClassIdentity;
    text += "\x1foptions=" + toStd(runOptions);
    text += "\x1fproperties=";
    for (long i = 0; i < propertyNames.size(); ++i) {
        text += toStd(propertyNames.at(i)) + "\x1e";
    }
    for (const char* variable : kOptionVariables) {
        const char* value = std::getenv(variable);
        text +=
            std::string("\x1f") + variable + (value == nullptr ? "-" : std::string("=") + value);
    }
    key.text = text;
    return true;
}

bool VerifyCache::isEnabled() const {
    const char* setting = std::getenv("QV_VERIFY_CACHE");
    return setting == nullptr || std::strcmp(setting, "0") != 0;
}

std::string VerifyCache::directory() const {
    return UserCache::rootDirectory();
}

void VerifyCache::reset() {
    m_loaded = false;
    m_entries.clear();
    m_clock = 0;
}

void VerifyCache::load() {
    if (m_loaded) {
        return;
    }
    m_loaded = true;
    std::string dir = directory();
    std::string content;
    if (dir.empty() || !UserCache::isSafeOwnDirectory(dir) ||
        !UserCache::readOwnFile(dir + "/" + kFileName, kMaxFileSize, content)) {
        return;
    }
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos) {
            return;  // every record ends with a line feed: a cut file is corrupt
        }
        lines.push_back(content.substr(start, end - start));
        start = end + 1;
    }
    if (lines.empty() || lines[0] != kHeader || (lines.size() - 1) % 4 != 0) {
        return;
    }
    std::vector<Entry> entries;
    for (size_t i = 1; i + 3 < lines.size(); i += 4) {
        Entry entry;
        char* end = nullptr;
        entry.lastUsed = std::strtoull(lines[i + 3].c_str(), &end, 10);
        if (!unescape(lines[i], entry.key) || !unescape(lines[i + 1], entry.executable) ||
            !unescape(lines[i + 2], entry.answer) || lines[i + 3].empty() || *end != '\0') {
            return;
        }
        struct stat info;
        // An entry whose java is gone can never be asked for again.
        if (stat(entry.executable.c_str(), &info) == 0) {
            m_clock = entry.lastUsed > m_clock ? entry.lastUsed : m_clock;
            entries.push_back(entry);
        }
    }
    m_entries.swap(entries);
}

std::string VerifyCache::prepareDirectory() const {
    return UserCache::prepareDirectory(std::string());
}

void VerifyCache::save() {
    const std::string dir = prepareDirectory();
    if (dir.empty()) {
        return;
    }
    std::string content = std::string(kHeader) + "\n";
    for (const Entry& entry : m_entries) {
        content += escape(entry.key) + "\n" + escape(entry.executable) + "\n" +
                   escape(entry.answer) + "\n" + std::to_string(entry.lastUsed) + "\n";
    }
    UserCache::replaceFile(dir, kFileName, content);
}

bool VerifyCache::lookup(const Key& key, SString& answer) {
    load();
    auto found = std::find_if(m_entries.begin(), m_entries.end(),
                              [&key](const Entry& entry) { return entry.key == key.text; });
    if (found == m_entries.end()) {
        return false;
    }
    found->lastUsed = ++m_clock;
    answer.assign(found->answer.data(), static_cast<SString::size_type>(found->answer.size()));
    return true;
}

void VerifyCache::store(const Key& key, const SString& answer) {
    const std::string dir = prepareDirectory();
    if (dir.empty()) {
        return;
    }
    // Read, merge and write under the lock: what other launchers stored since this one loaded
    // the file is kept.
    CacheLock lock(dir + "/" + kLockName);
    if (!lock.isHeld()) {
        return;
    }
    reset();
    load();
    Entry fresh{key.text, key.executable, toStd(answer), ++m_clock};
    bool replaced = false;
    for (Entry& entry : m_entries) {
        if (entry.key == key.text) {
            entry = fresh;
            replaced = true;
        }
    }
    if (!replaced) {
        m_entries.push_back(fresh);
    }
    while (m_entries.size() > kMaxEntries) {
        size_t oldest = 0;
        for (size_t i = 1; i < m_entries.size(); ++i) {
            if (m_entries[i].lastUsed < m_entries[oldest].lastUsed) {
                oldest = i;
            }
        }
        m_entries.erase(m_entries.begin() + static_cast<long>(oldest));
    }
    save();
}
