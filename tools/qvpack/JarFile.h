#ifndef QV_TOOLS_QVPACK_JARFILE_H
#define QV_TOOLS_QVPACK_JARFILE_H

#include <memory>

#include "base/SString.h"

struct zip;

// A jar (a zip archive) open for reading entries, through libzip. Closed when destroyed.
class JarFile {
public:
    // Opens path. Throws LauncherException "Cannot read <path> as a jar: <reason>".
    explicit JarFile(const SString& path);
    JarFile(const JarFile&) = delete;
    JarFile& operator=(const JarFile&) = delete;
    ~JarFile();

    const SString& path() const { return m_path; }

    // Reads the whole entry name (matched exactly) into bytes; false when the jar has none.
    // Throws LauncherException naming the entry and the jar when it is longer than maxBytes or
    // cannot be read.
    bool readEntry(const SString& name, long maxBytes, SString& bytes) const;
    // Reads the first count bytes of the entry name (all of it when it is shorter) into
    // bytes; false when the jar has no such entry. Throws as readEntry does.
    bool readEntryStart(const SString& name, long count, SString& bytes) const;

private:
    // Reads up to count bytes of the entry, or, with whole, all of it as long as it holds no
    // more than count.
    bool read(const SString& name, long count, bool whole, SString& bytes) const;

    SString m_path;
    struct Closer {
        void operator()(zip* archive) const;
    };
    std::unique_ptr<zip, Closer> m_archive;
};

// The attributes of a jar manifest that packing uses; empty when absent.
struct ManifestAttributes {
    SString mainClass;
    SString classPath;
};

// Reads the main section of a manifest (META-INF/MANIFEST.MF): its lines up to the first empty
// one, each ending with CR LF, LF or CR. A line "Name: value" sets an attribute; each line
// after it that starts with one blank continues its value (the blank dropped). Names match
// case-insensitively, as in the jar format; values lose their edge blanks. Throws
// LauncherException "Invalid manifest in <jarPath> at line <n>: ..." for a line without a
// colon or a continuation line with nothing before it.
ManifestAttributes parseManifest(const SString& text, const SString& jarPath);

// The major version of a class file from its first 8 bytes (magic 0xCAFEBABE, minor, major).
// Throws LauncherException "<what> is not a class file" when the bytes are not one, or when
// the version is below 45, the first there was.
long classFileMajorVersion(const SString& header, const SString& what);

// The java.specification.version range of the JVMs that run class files of this major
// version: 52 is [1.8,), 53 and above [major-44,), below 52 [1.<major-44>,).
SString javaRangeForMajorVersion(long major);

#endif  // QV_TOOLS_QVPACK_JARFILE_H
