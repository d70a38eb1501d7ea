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
// readable regular files, tag files (types 0 to 2) must parse, the embedded names (the base
// names of the paths) must be plain and distinct, explicit ids distinct, and the whole file
// below 2 GiB. A tag file that does not end with a line feed is embedded with one added: the
// launcher reads an embedded tag file line by line up to its length, and a last line without
// its line feed would run on into the next file. The output is written to a temporary file
// beside it and renamed into place, so a failure leaves no partial output behind.
class LauncherWriter {
public:
    explicit LauncherWriter(const SString& stubPath);
    LauncherWriter(const LauncherWriter&) = delete;
    LauncherWriter& operator=(const LauncherWriter&) = delete;
    ~LauncherWriter();

    // Adds a file to embed after those added before. A negative id asks for the next free
    // one: files without an id get 1, 2, 3... in order, skipping the ids already given.
    void addFile(long type, const SString& path, long id = -1);
    // Adds a file made in memory, embedded under name (checked as a base name is) with these
    // bytes; otherwise as addFile.
    void addContent(long type, const SString& name, const SString& bytes, long id = -1);
    // Makes write mark the stub's copy as packed: the stub's bytes must hold kStubMarkerBare
    // (input/LauncherLayout.h) exactly once, and the copy holds kStubMarkerPacked there.
    // Otherwise write throws "<stub> is not a qvlauncher stub (or is already packed)".
    void markStubAsPacked() { m_markStub = true; }

    // Checks everything, then writes the launcher file to outputPath and makes it executable.
    // Throws LauncherException with a message naming the offending file.
    void write(const SString& outputPath);

private:
    struct PackedFile {
        long type;
        SString path;  // for messages; the name for a file made in memory
        SString name;
        long id;
        long length;  // as embedded, with an added line feed
        bool inMemory = false;
        std::unique_ptr<BinaryFile> source;  // the file read, when not made in memory
        SString content;                     // the bytes of a file made in memory
        bool addLineFeed = false;
    };

    void openAndCheck(PackedFile& file) const;
    void copyFile(const PackedFile& file, BinaryFile& output, const SString& outputPath) const;
    void checkNames() const;
    void assignIds();
    long checkTotalSize(long stubSize) const;

    SString m_stubPath;
    std::vector<PackedFile> m_files;
    bool m_markStub = false;
};

#endif  // QV_INPUT_LAUNCHERWRITER_H
