#ifndef QV_INPUT_FILEINDEXENTRY_H
#define QV_INPUT_FILEINDEXENTRY_H

#include <cstdio>
#include <functional>
#include <memory>

#include "base/PtrDeque.h"
#include "base/SString.h"
#include "input/TagFile.h"
#include "platform/unix/FileDescriptor.h"

class LauncherFile;

// One entry of a launcher file's index: where an embedded file's bytes lie, what it is and
// what it is called. Entries of tag file types also own the tag file read in place.
//
// The entry as stored: type (1 byte, 0 to 7), id (4), length (4), offset of the first byte
// (4), name length L (2), then L bytes of name without terminator. Numbers are big-endian.
class FileIndexEntry {
public:
    FileIndexEntry();
    // An entry describing a file that a launcher builder is about to append.
    FileIndexEntry(long type, long id, long length, long offset, const SString& name);
    FileIndexEntry(const FileIndexEntry&) = delete;
    FileIndexEntry& operator=(const FileIndexEntry&) = delete;
    ~FileIndexEntry();

    // Reads one entry at the stream's position. trailerStart is the position of the launcher
    // file's trailer: the file's bytes must end at or before it. Throws LauncherException when
    // the entry is cut short or describes bytes that cannot be there.
    void load(FILE* file, long trailerStart);
    // Appends the entry in the stored form that load reads.
    void appendTo(SString& bytes) const;
    // For tag file types, reads the embedded tag file from the launcher stream, so that its
    // syntax errors name the embedded file; other types do nothing. Loading errors propagate.
    void loadTagFile(FILE* file);
    // Copies the file's bytes from source, read through its descriptor at the entry's offset,
    // to directory + "/" + name (the bare name for an empty directory) and returns that path.
    // Programs are made executable. Throws LauncherException when the name would leave the
    // directory, when a symbolic link is at the target ("Unable to write <target>: it is a
    // symbolic link"; it is not followed), when space runs short, when source is not open or
    // when reading or writing fails; a partly written file is removed. The caller decides
    // whether the path joins the cleanup list.
    SString extract(const LauncherFile& source, const SString& directory) const;
    // As above, from the launcher file the entry was read from (setLauncherFile); throws
    // LauncherException when the entry has none.
    SString extract(const SString& directory) const;
    // As above, into the run's directory (PlatformImpl::runDirectory), shared by the embedded
    // files a run extracts. When a file of the same name is already there (an index that names
    // two files alike), a directory of its own takes this one, so that no extracted file is
    // overwritten.
    SString extractForRun() const;
    // A copy of the file's bytes in memory (an anonymous memory file, close-on-exec, that
    // /proc/self/fd/<n> names), for a child that reads it by path without the launcher writing
    // it to disk. Empty when the system has no memory files, the file is larger than maxBytes
    // or reading fails.
    FileDescriptor copyToMemory(long maxBytes) const;
    // Hands the file's bytes, in order, to consume(bytes, count) in chunks read through the
    // launcher file as readSomeAt reads them. False on a read error or when consume returns
    // false (which stops the reading).
    bool forEachChunk(const std::function<bool(const char*, long)>& consume) const;
    // Reads up to count bytes of the embedded file, from position (0 is its first byte), through
    // the launcher file it was read from, as extract reads them. Returns the number read, 0 at
    // the file's end, -1 on a read error, a position outside the file or no open launcher file.
    long readSomeAt(char* buffer, long count, long position) const;
    // The open launcher file that holds the entry's bytes; it must outlive the entry. Set by
    // the loader of the index.
    void setLauncherFile(const LauncherFile* file) { m_launcherFile = file; }
    // The launcher file set above; null when none was.
    const LauncherFile* launcherFile() const { return m_launcherFile; }

    long getType() const { return m_type; }
    long getId() const { return m_id; }
    long getLength() const { return m_length; }
    long getOffset() const { return m_offset; }
    const SString& getName() const { return m_name; }
    // The embedded tag file; null until loadTagFile has read it.
    const TagFile* getTagFile() const { return m_tagFile.get(); }
    TagFile* getTagFile() { return m_tagFile.get(); }

private:
    long m_type;
    std::unique_ptr<TagFile> m_tagFile;
    long m_id;
    long m_length;
    long m_offset;
    SString m_name;
    const LauncherFile* m_launcherFile = nullptr;
};

typedef PtrDE<FileIndexEntry> FileIndexEntryPtrDE;
typedef PtrDeque<FileIndexEntry> FileIndexEntryPtrDeque;

// The bytes that follow the embedded files when the index starts at indexOffset: the file
// count, every entry in order, and the trailer (indexOffset and the identification value).
SString encodeFileIndex(const FileIndexEntryPtrDeque& entries, long indexOffset);

#endif  // QV_INPUT_FILEINDEXENTRY_H
