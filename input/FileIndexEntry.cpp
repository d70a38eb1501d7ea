#include "input/FileIndexEntry.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "base/LauncherException.h"
#include "base/TextUtil.h"
#include "input/LauncherFile.h"
#include "input/LauncherLayout.h"
#include "platform/unix/BinaryFile.h"
#include "platform/unix/PlatformImpl.h"
#include "platform/unix/SystemError.h"

namespace {

// 0xEFFF: one byte short of 60 KiB, the block of every extraction: the console shows one
// progress mark per block.
const long kExtractBlockSize = 61439;
// Bytes moved between two progress updates. A multiple of the page size: a step that ends
// inside a page makes every later step start there, and the kernel then copies partial pages
// (about half again as slow as whole ones).
const long kStepSize = 8L << 20;
// The buffer of a copy that the kernel cannot make on its own.
const long kCopyBufferSize = 256L * 1024;

// "Error writing file = <detail> There may not be enough temporary disk space. ..."
[[noreturn]] void throwWriteError(const SString& detail) {
    SString message = PlatformImpl::getMessageText(MSG_ERROR_WRITING_FILE);
    message += detail;
    message += PlatformImpl::getMessageText(MSG_NOT_ENOUGH_SPACE);
    throw LauncherException(message);
}

// The target is opened without following a link; a link there is named as the cause, not
// the disk space.
[[noreturn]] void throwOpenError(const SString& target, int err) {
    struct stat info;
    if (err == ELOOP && lstat(target.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        throw LauncherException(concat("Unable to write ", target, ": it is a symbolic link"));
    }
    throwWriteError(convertToString(err));
}

// Removes a half-written target unless the copy completed.
class PartialFileGuard {
public:
    explicit PartialFileGuard(const SString& path) : m_path(path) {}
    PartialFileGuard(const PartialFileGuard&) = delete;
    PartialFileGuard& operator=(const PartialFileGuard&) = delete;
    ~PartialFileGuard() {
        if (!m_kept) {
            // The copy already failed and says why; a leftover that cannot be removed
            // changes nothing the caller can act on.
            // NOLINTNEXTLINE(cert-err33-c): best effort on the failure path
            std::remove(m_path.c_str());
        }
    }
    void keep() { m_kept = true; }

private:
    SString m_path;
    bool m_kept = false;
};

// Also reached when the launcher file is shorter than its index said: it changed since.
[[noreturn]] void throwReadError(const SString& name, int err) {
    throw LauncherException(
        describeSystemError(concat("Unable to read the embedded file ", name), err));
}

// Moves bytes from the launcher file, from a given offset on, to an extracted file: inside the
// kernel while the system can, through a buffer from the first refusal on. The launcher file
// is read at explicit offsets, so its descriptor's position is never used. The buffered copy
// names the failing side: a read error, or a write error with the system's error number.
class ByteMover {
public:
    ByteMover(const BinaryFile& source, long offset, BinaryFile& target, const SString& name)
        : m_source(source), m_offset(offset), m_target(target), m_name(name) {}
    ByteMover(const ByteMover&) = delete;
    ByteMover& operator=(const ByteMover&) = delete;

    // Moves exactly count bytes or throws LauncherException.
    void move(long count) {
        while (count > 0 && m_inKernel) {
            long moved = m_target.copyInKernelFrom(m_source, m_offset, count);
            if (moved <= 0) {
                // The end of the source, an error, or a file system that cannot: the buffered
                // copy finds out which and reports it.
                m_inKernel = false;
                break;
            }
            count -= moved;
        }
        if (count > 0 && !m_buffer) {
            m_buffer.reset(new char[kCopyBufferSize]);
        }
        while (count > 0) {
            long got = m_source.readSomeAt(
                m_buffer.get(), count < kCopyBufferSize ? count : kCopyBufferSize, m_offset);
            if (got <= 0) {
                throwReadError(m_name, got == 0 ? 0 : errno);
            }
            if (!m_target.writeAll(m_buffer.get(), got)) {
                throwWriteError(convertToString(errno));
            }
            m_offset += got;
            count -= got;
        }
    }

private:
    const BinaryFile& m_source;
    long m_offset;
    BinaryFile& m_target;
    const SString& m_name;
    bool m_inKernel = true;
    std::unique_ptr<char[]> m_buffer;
};

void checkEntryBounds(long length, long offset, long nameLength, long trailerStart) {
    if (length < 0) {
        throw LauncherException("Invalid file length in file index.");
    }
    if (offset < 0) {
        throw LauncherException("Invalid offset to file bytes in file index.");
    }
    if (offset > trailerStart || length > trailerStart - offset) {
        throw LauncherException("File bytes in file index run past the end of the launcher file.");
    }
    if (nameLength < 0) {
        throw LauncherException("Invalid file name length in file index.");
    }
}

// The name is stored without terminator; like any C string it ends at a NUL byte. Exactly
// nameLength bytes are consumed so that the next entry starts where it should.
SString readName(FILE* file, long nameLength) {
    std::vector<char> bytes(static_cast<size_t>(nameLength) + 1, '\0');
    if (getBytes(file, bytes.data(), static_cast<unsigned>(nameLength)) <
        static_cast<unsigned>(nameLength)) {
        throw LauncherException("Unable to load the string value.");
    }
    return SString(bytes.data());
}

}  // namespace

FileIndexEntry::FileIndexEntry() : m_type(0), m_id(-1), m_length(0), m_offset(0) {}

FileIndexEntry::FileIndexEntry(long type, long id, long length, long offset, const SString& name)
    : m_type(type), m_id(id), m_length(length), m_offset(offset), m_name(name) {}

FileIndexEntry::~FileIndexEntry() = default;

void FileIndexEntry::load(FILE* file, long trailerStart) {
    int type = std::getc(file);
    if (type == EOF || type > kHighestFileType) {
        throw LauncherException("Invalid file type in file index.");
    }
    long id = loadLongValue(file, "Unable to load file id.");
    long length = loadLongValue(file, "Unable to load file length.");
    long offset = loadLongValue(file, "Unable to load offset to file bytes.");
    long nameLength = loadShortValue(file, "Unable to load the string value.");
    checkEntryBounds(length, offset, nameLength, trailerStart);
    m_name = readName(file, nameLength);
    m_type = type;
    m_id = id;
    m_length = length;
    m_offset = offset;
}

void FileIndexEntry::appendTo(SString& bytes) const {
    bytes += static_cast<char>(m_type);
    appendBigEndian32(bytes, m_id);
    appendBigEndian32(bytes, m_length);
    appendBigEndian32(bytes, m_offset);
    appendBigEndian16(bytes, static_cast<long>(m_name.length()));
    bytes += m_name;
}

void FileIndexEntry::loadTagFile(FILE* file) {
    if (!isTagFileType(m_type)) {
        return;
    }
    std::unique_ptr<TagFile> tagFile(new TagFile);
    tagFile->load(file, m_name, m_offset, m_length);
    m_tagFile = std::move(tagFile);
}

SString FileIndexEntry::extract(const SString& directory) const {
    if (m_launcherFile == nullptr) {
        throw LauncherException(concat("No launcher file holds the embedded file ", m_name));
    }
    return extract(*m_launcherFile, directory);
}

SString FileIndexEntry::extractForRun() const {
    SString directory = PlatformImpl::runDirectory();
    SString target(directory);
    appendPathSeparator(target);
    target += m_name;
    struct stat info;
    if (lstat(target.c_str(), &info) == 0) {
        directory = PlatformImpl::createTempSubDirectory();
    }
    return extract(directory);
}

FileDescriptor FileIndexEntry::copyToMemory(long maxBytes) const {
    if (m_length > maxBytes) {
        return FileDescriptor();
    }
    FileDescriptor memory(memfd_create(m_name.c_str(), MFD_CLOEXEC));
    if (memory.isOpen() && !forEachChunk([&memory](const char* bytes, long count) {
            return write(memory.get(), bytes, static_cast<size_t>(count)) == count;
        })) {
        memory.reset();
    }
    return memory;
}

bool FileIndexEntry::forEachChunk(const std::function<bool(const char*, long)>& consume) const {
    std::unique_ptr<char[]> buffer(new char[kCopyBufferSize]);
    for (long position = 0; position < m_length;) {
        const long got = readSomeAt(buffer.get(), kCopyBufferSize, position);
        if (got <= 0 || !consume(buffer.get(), got)) {
            return false;
        }
        position += got;
    }
    return true;
}

long FileIndexEntry::readSomeAt(char* buffer, long count, long position) const {
    if (m_launcherFile == nullptr || !m_launcherFile->isOpen() || position < 0 ||
        position > m_length || count < 0) {
        return -1;
    }
    // Never past the entry's own bytes, whatever follows them in the launcher file.
    long wanted = count < m_length - position ? count : m_length - position;
    if (wanted == 0) {
        return 0;
    }
    return m_launcherFile->binaryFile().readSomeAt(buffer, wanted, m_offset + position);
}

SString FileIndexEntry::extract(const LauncherFile& launcherFile, const SString& directory) const {
    if (!isPlainFileName(m_name)) {
        throw LauncherException(concat("Refusing to extract the embedded file \"", m_name,
                                       "\": its name is not a plain file name."));
    }
    if (!PlatformImpl::checkFreeSpace(directory, m_length)) {
        throwWriteError(SString());
    }
    SString target(directory);
    appendPathSeparator(target);
    target += m_name;

    if (!launcherFile.isOpen()) {
        throw LauncherException(concat("The launcher file ", launcherFile.getName(),
                                       " is not open: the embedded file ", m_name,
                                       " cannot be read."));
    }
    const BinaryFile& source = launcherFile.binaryFile();
    BinaryFile output;
    if (!output.openForWriting(target, 0666)) {
        throwOpenError(target, errno);
    }
    if (output.isSameFileAs(source)) {
        // Truncating would destroy the bytes about to be copied, and the launcher with them.
        throw LauncherException(concat("Refusing to extract the embedded file \"", m_name,
                                       "\" over the launcher file itself."));
    }
    PartialFileGuard partial(target);
    // A new file needs no truncation, and truncating one makes ext4 flush it on close as if
    // it replaced an old file.
    if (output.size() != 0 && !output.truncate()) {
        throwWriteError(convertToString(errno));
    }

    ByteMover mover(source, m_offset, output, m_name);
    // The console shows one progress mark per block; the bytes move many blocks at a time.
    long shownBlocks = 0;
    for (long done = 0; done < m_length;) {
        // A large file takes a while; a launcher asked to stop leaves it half-written, and the
        // guard removes it.
        PlatformImpl::throwIfTerminating();
        long step = m_length - done < kStepSize ? m_length - done : kStepSize;
        mover.move(step);
        done += step;
        long blocks = done == m_length ? (m_length + kExtractBlockSize - 1) / kExtractBlockSize
                                       : done / kExtractBlockSize;
        PlatformImpl::advanceUIProgressSteps(blocks - shownBlocks);
        shownBlocks = blocks;
    }
    if (!output.close()) {
        throwWriteError(convertToString(errno));
    }
    partial.keep();
    if (isExecutableFileType(m_type)) {
        PlatformImpl::setFileExecutable(target);
    }
    return target;
}

SString encodeFileIndex(const FileIndexEntryPtrDeque& entries, long indexOffset) {
    SString bytes;
    appendBigEndian32(bytes, entries.size());
    for (long i = 0; i < entries.size(); ++i) {
        entries.at(i)->appendTo(bytes);
    }
    appendBigEndian32(bytes, indexOffset);
    appendBigEndian32(bytes, kLauncherIdentification);
    return bytes;
}
