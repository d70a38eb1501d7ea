#ifndef QV_JVM_VERIFYCACHE_H
#define QV_JVM_VERIFYCACHE_H

#include <string>
#include <vector>

#include "base/SString.h"
#include "base/StringDeque.h"

class FileIndexEntry;

// Remembers what the verify class printed for an installed JVM, so a later launch need not
// start that JVM only to ask it for its properties again.
//
// An answer is keyed by everything it depends on: the resolved path and identity (device,
// inode, size, modification and change times) of the candidate's java and of its runtime image
// (lib/modules, or rt.jar on old JVMs), the identity of the verify class, the property names
// asked for, the verify run's JVM options, and the environment variables that change a JVM's
// options. Only properties that depend on the JVM alone are answered from the cache.
//
// The cache is one file under $XDG_CACHE_HOME/qvlauncher/ (or ~/.cache/qvlauncher/), mode
// 0600 in a 0700 directory, replaced atomically, updated under the lock file beside it. A missing,
// unreadable, foreign-owned or corrupt file is ignored and rewritten; nothing here ever fails the
// launch. QV_VERIFY_CACHE=0 in the environment turns the cache off.
class VerifyCache {
public:
    // The identity of one verification request.
    struct Key {
        std::string text;        // every part of the key, encoded
        std::string executable;  // the resolved path of java, to drop entries that are gone
    };

    // The cache of this process, loaded on first use.
    static VerifyCache& instance();

    // True when the cache may answer a request for these property names.
    static bool isCacheable(const StringDeque& propertyNames);

    // The identity of a verify class named by a class path (which may carry its own double
    // quotes): a digest of the archive's bytes when the path names a regular file of at most
    // 16 MiB, else the class path's text.
    static std::string verifyClassIdentity(const SString& classpath, const SString& className);
    // The identity of the launcher's embedded verify archive, from its bytes as read through the
    // launcher file: the same text verifyClassIdentity gives for an extracted copy, so no
    // extraction is needed to ask the cache. Empty when the bytes cannot be read or the archive
    // is larger than 16 MiB (then its requests are not cached).
    static std::string embeddedClassIdentity(const FileIndexEntry& archive,
                                             const SString& className);

    // Builds the key of a request from the candidate's java and home, the verify class's
    // identity (above), the JVM options of the verify run and the property names; false when a
    // part of it cannot be read or the identity is empty (then the request is not cached).
    static bool makeKey(const SString& executable, const SString& jvmHome,
                        const std::string& verifyClassIdentity, const SString& runOptions,
                        const StringDeque& propertyNames, Key& key);

    bool isEnabled() const;
    // The lines the verify class printed after its magic line, when the cache holds them.
    bool lookup(const Key& key, SString& answer);
    // Remembers answer (the lines after the magic line) and saves the cache file: under an
    // exclusive lock, it reads the file again and adds answer to what other launchers stored
    // meanwhile, so that concurrent launchers lose no entry. A lock not had within a few
    // seconds leaves the file as it is.
    void store(const Key& key, const SString& answer);

    // Forgets what was loaded, so the next use reads the file again.
    void reset();

    // The most entries the file keeps; the least recently used are dropped first.
    static const size_t kMaxEntries = 64;

private:
    struct Entry {
        std::string key;
        std::string executable;
        std::string answer;
        unsigned long long lastUsed;
    };

    std::string directory() const;
    // The cache directory, made when missing; empty when it is not the user's own and private.
    std::string prepareDirectory() const;
    void load();
    void save();

    bool m_loaded = false;
    unsigned long long m_clock = 0;
    std::vector<Entry> m_entries;
};

#endif  // QV_JVM_VERIFYCACHE_H
