#ifndef QV_INPUT_LAUNCHERWRITER_H
#define QV_INPUT_LAUNCHERWRITER_H

#include <memory>
#include <vector>

#include "base/SString.h"

class BinaryFile;

// Builds a launcher file: a stub executable followed by the bytes of each embedded file, the
// file index and the trailer, in the layout that LauncherInputFiles reads. Files follow one
// another without gaps, except that a file of 1 MiB or more that is not a tag file starts on
// a 4096-byte boundary, after zero bytes that belong to no file, so that it extracts fast.
//
// Everything is checked before the first byte is written: the stub and every file must be
// readable regular files, tag files (types 0 to 2) must parse and end with a line feed, the
// embedded names (the base names of the paths) must be plain and distinct, explicit ids
// distinct, and the whole file below 2 GiB. The output is written to a temporary file beside
// it and renamed into place, so a failure leaves no partial output behind.
class LauncherWriter {
public:
    explicit LauncherWriter(const SString& stubPath);
    LauncherWriter(const LauncherWriter&) = delete;
    LauncherWriter& operator=(const LauncherWriter&) = delete;
    ~LauncherWriter();

    // Adds a file to embed after those added before. A negative id asks for the next free
    // one: files without an id get 1, 2, 3... in order, skipping the ids already given.
    void addFile(long type, const SString& path, long id = -1);

    // Checks everything, then writes the launcher file to outputPath and makes it executable.
    // Throws LauncherException with a message naming the offending file.
    void write(const SString& outputPath);

private:
    struct PackedFile {
        long type;
        SString path;
        SString name;
        long id;
        long length;
        std::unique_ptr<BinaryFile> source;
    };

    void openAndCheck(PackedFile& file) const;
    void checkNames() const;
    void assignIds();
    long checkTotalSize(long stubSize) const;

    SString m_stubPath;
    std::vector<PackedFile> m_files;
};

#endif  // QV_INPUT_LAUNCHERWRITER_H
