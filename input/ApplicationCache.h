#ifndef QV_INPUT_APPLICATIONCACHE_H
#define QV_INPUT_APPLICATIONCACHE_H

#include <string>
#include <vector>

#include "base/SString.h"

class FileIndexEntry;

// The per-user cache of a launcher's embedded class-path archives, so that an application's
// jars are extracted once and later launches use them where they lie, at a stable path with a
// stable modification time (which the JVM's class-data archives need) and without copying.
//
// A file is kept as <cache>/app/<digest>/<name>, the digest being the SHA-256 of its bytes:
// launchers that carry the same jar share one copy. Files are written read-only through a
// temporary file that is synced and then linked into place, so a concurrent launcher sees a
// whole file or none; when two launchers extract the same file at once, the first link wins and
// the other checks and uses it. The digest of an embedded file is computed once per launcher
// file: a small index under <cache>/app-index/, keyed by the launcher file's identity, remembers
// it with the identity the cached copy had, so a warm launch reads no jar. A cached copy whose
// identity changed is hashed again and, when its bytes differ or it is not the user's own
// read-only regular file, removed and extracted anew.
//
// After an extraction the cache is kept under its size limit (QV_APP_CACHE_MAX_MB, default
// 1024 MiB, counting the class-data archives beside it): the least recently used applications'
// files go first, never one this launch uses or one used in the last minute (another launcher's
// application may be running on it).
//
// Nothing here fails a launch: when the cache cannot serve a file the caller extracts it for
// the run as it would without the cache. QV_APP_CACHE=0 in the environment turns it off.
class ApplicationCache {
public:
    // The directory of the class-data archives, beside the application files and under the same
    // size limit.
    static constexpr const char* kClassArchiveDirectory = "classes";

    // False when QV_APP_CACHE=0.
    static bool isEnabled();
    // The path of the cached copy of entry's bytes, extracting them when needed; empty when the
    // cache is off or cannot serve it (no cache directory, an unusable name, an I/O error).
    static SString cachedPath(const FileIndexEntry& entry);
    // "<digest>/<name>" of every file served in this process, in the order first served: what
    // identifies the application's class path content.
    static std::vector<std::string> servedFiles();
    // The size limit in bytes.
    static unsigned long long sizeLimit();
    // Forgets what this process served and loaded.
    static void resetForTest();
};

#endif  // QV_INPUT_APPLICATIONCACHE_H
