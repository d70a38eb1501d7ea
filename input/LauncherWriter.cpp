#include "input/LauncherWriter.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "base/LauncherException.h"
#include "base/StdioFile.h"
#include "base/TextUtil.h"
#include "input/FileIndexEntry.h"
#include "input/LauncherLayout.h"
#include "input/TagFile.h"
#include "platform/unix/BinaryFile.h"
#include "platform/unix/SystemError.h"

namespace {

const long kCopyBlockSize = 1L << 20;

// Payloads of this size or more start on a page boundary of the launcher file. Extraction
// copies inside the kernel page by page; from a payload that starts inside a page, every
// target page is made of two partial source pages, which takes about half again as long. The
// padding (fewer than kPageSize zero bytes) belongs to no embedded file: readers go by the
// offsets in the index.
const long kAlignedPayloadSize = 1L << 20;
const long kPageSize = 4096;

long paddingBefore(long type, long length, long offset) {
    if (isTagFileType(type) || length < kAlignedPayloadSize || offset % kPageSize == 0) {
        return 0;
    }
    return kPageSize - offset % kPageSize;
}

SString baseName(const SString& path) {
    SString::size_type slash = path.rfind('/');
    return slash == SString::npos ? path : path.substr(slash + 1);
}

// Opens path and answers its size; only regular files have a size worth packing.
long openRegularFile(BinaryFile& file, const SString& path) {
    if (!file.openForReading(path)) {
        throw LauncherException(describeSystemError(concat("Cannot read ", path), errno));
    }
    struct stat info;
    if (::fstat(file.descriptor(), &info) != 0 || !S_ISREG(info.st_mode)) {
        throw LauncherException(concat("Not a regular file: ", path));
    }
    return static_cast<long>(info.st_size);
}

// The last count bytes of a file of size bytes, or empty when it is shorter.
SString readTail(BinaryFile& file, long size, long count, const SString& path) {
    if (size < count) {
        return SString();
    }
    std::vector<char> bytes(static_cast<size_t>(count));
    if (!file.seek(size - count) || !file.readFully(bytes.data(), count)) {
        throw LauncherException(describeSystemError(concat("Cannot read ", path), errno));
    }
    return SString(bytes.data(), static_cast<SString::size_type>(count));
}

// A packed stub would hide its own index behind the new one: the launcher reads only the last.
void checkStubHasNoPayload(BinaryFile& stub, long size, const SString& path) {
    SString tail = readTail(stub, size, 4, path);
    SString identification;
    appendBigEndian32(identification, kLauncherIdentification);
    if (tail.compare(identification) == 0) {
        throw LauncherException(
            concat("The stub ", path, " already carries embedded files; use a plain launcher."));
    }
}

SString invalidTagFile(const SString& path, const LauncherException& e) {
    SString message = concat("Invalid tag file ", path, ": ");
    message += e.m_message;
    return message;
}

// A tag file must parse on its own. Answers whether it lacks its final line feed, which the
// embedded copy then gets (see LauncherWriter).
bool checkTagFile(BinaryFile& file, long size, const SString& path) {
    try {
        TagFile parsed(path);
    } catch (const LauncherException& e) {
        throw LauncherException(invalidTagFile(path, e));
    }
    return size > 0 && readTail(file, size, 1, path).compare("\n") != 0;
}

// The same for a tag file made in memory.
bool checkTagText(const SString& text, const SString& name) {
    if (text.empty()) {
        return false;
    }
    // Read only: the stream never writes into the buffer it is given.
    StdioFile stream(::fmemopen(const_cast<char*>(text.data()), text.length(), "r"));
    if (stream.get() == nullptr) {
        throw LauncherException(describeSystemError(concat("Cannot read ", name), errno));
    }
    try {
        TagFile parsed;
        parsed.load(stream.get(), name, 0, -1);
    } catch (const LauncherException& e) {
        throw LauncherException(invalidTagFile(name, e));
    }
    return text[text.length() - 1] != '\n';
}

// The position of the only copy of kStubMarkerBare in the stub's bytes. Read in blocks that
// overlap by the marker's length less one, so that a marker across a block border is seen
// once, in the block where it starts.
long findStubMarker(const BinaryFile& stub, long size, const SString& path) {
    const char* const marker = kStubMarkerBare;
    const long markerLength = static_cast<long>(sizeof kStubMarkerBare) - 1;
    std::vector<char> block(static_cast<size_t>(kCopyBlockSize + markerLength - 1));
    long found = -1;
    int count = 0;
    for (long start = 0; start < size && count < 2; start += kCopyBlockSize) {
        const long length = std::min(size - start, static_cast<long>(block.size()));
        if (!stub.readFullyAt(block.data(), length, start)) {
            throw LauncherException(describeSystemError(concat("Cannot read ", path), errno));
        }
        const char* const begin = block.data();
        const char* const end = begin + length;
        const char* const ownEnd = begin + std::min(length, kCopyBlockSize);
        for (const char* at = std::search(begin, end, marker, marker + markerLength); at < ownEnd;
             at = std::search(at + 1, end, marker, marker + markerLength)) {
            found = start + (at - begin);
            ++count;
        }
    }
    if (count != 1) {
        throw LauncherException(concat(path, " is not a qvlauncher stub (or is already packed)"));
    }
    return found;
}

void copyBytes(BinaryFile& from, BinaryFile& to, long length, const SString& fromPath,
               const SString& toPath) {
    std::unique_ptr<char[]> buffer(new char[kCopyBlockSize]);
    if (!from.seek(0)) {
        throw LauncherException(describeSystemError(concat("Cannot read ", fromPath), errno));
    }
    for (long remaining = length; remaining > 0;) {
        long got =
            from.readSome(buffer.get(), remaining < kCopyBlockSize ? remaining : kCopyBlockSize);
        if (got <= 0) {
            SString context = concat("Cannot read ", fromPath, " (did it change while packing?)");
            throw LauncherException(describeSystemError(context, got == 0 ? 0 : errno));
        }
        if (!to.writeAll(buffer.get(), got)) {
            throw LauncherException(describeSystemError(concat("Cannot write ", toPath), errno));
        }
        remaining -= got;
    }
}

// A new file beside the output, removed unless it is renamed over the output.
class TemporaryOutput {
public:
    explicit TemporaryOutput(const SString& outputPath) : m_path(outputPath) {
        m_path += ".qvpack-XXXXXX";
        std::vector<char> pathTemplate(m_path.c_str(), m_path.c_str() + m_path.length() + 1);
        if (!m_file.createUnique(pathTemplate.data())) {
            throw LauncherException(
                describeSystemError(concat("Cannot create a file beside ", outputPath), errno));
        }
        m_path = pathTemplate.data();
    }
    TemporaryOutput(const TemporaryOutput&) = delete;
    TemporaryOutput& operator=(const TemporaryOutput&) = delete;
    ~TemporaryOutput() {
        if (!m_committed) {
            m_file.close();
            // NOLINTNEXTLINE(cert-err33-c): a destructor has no one to tell; the file stays.
            std::remove(m_path.c_str());
        }
    }

    BinaryFile& file() { return m_file; }
    const SString& path() const { return m_path; }

    // Makes the file executable (as far as the umask allows), closes it and renames it.
    void commit(const SString& outputPath) {
        mode_t mask = ::umask(0);
        ::umask(mask);
        if (::fchmod(m_file.descriptor(), 0777 & ~mask) != 0 || !m_file.close()) {
            throw LauncherException(describeSystemError(concat("Cannot write ", m_path), errno));
        }
        if (std::rename(m_path.c_str(), outputPath.c_str()) != 0) {
            int err = errno;
            SString context = concat("Cannot rename ", m_path, " to ");
            context += outputPath;
            throw LauncherException(describeSystemError(context, err));
        }
        m_committed = true;
    }

private:
    SString m_path;
    BinaryFile m_file;
    bool m_committed = false;
};

}  // namespace

LauncherWriter::LauncherWriter(const SString& stubPath) : m_stubPath(stubPath) {}

LauncherWriter::~LauncherWriter() = default;

void LauncherWriter::addFile(long type, const SString& path, long id) {
    PackedFile file;
    file.type = type;
    file.path = path;
    file.name = baseName(path);
    file.id = id;
    file.length = 0;
    m_files.push_back(std::move(file));
}

void LauncherWriter::addContent(long type, const SString& name, const SString& bytes, long id) {
    PackedFile file;
    file.type = type;
    file.path = name;
    file.name = name;
    file.id = id;
    file.length = 0;
    file.inMemory = true;
    file.content = bytes;
    m_files.push_back(std::move(file));
}

void LauncherWriter::write(const SString& outputPath) {
    BinaryFile stub;
    long stubSize = openRegularFile(stub, m_stubPath);
    checkStubHasNoPayload(stub, stubSize, m_stubPath);
    const long markerAt = m_markStub ? findStubMarker(stub, stubSize, m_stubPath) : -1;
    for (PackedFile& file : m_files) {
        openAndCheck(file);
    }
    checkNames();
    assignIds();
    checkTotalSize(stubSize);

    TemporaryOutput output(outputPath);
    copyBytes(stub, output.file(), stubSize, m_stubPath, output.path());
    if (markerAt >= 0) {
        const long markerLength = static_cast<long>(sizeof kStubMarkerPacked) - 1;
        if (!output.file().seek(markerAt) ||
            !output.file().writeAll(kStubMarkerPacked, markerLength) ||
            !output.file().seek(stubSize)) {
            throw LauncherException(
                describeSystemError(concat("Cannot write ", output.path()), errno));
        }
    }
    FileIndexEntryPtrDeque entries;
    long offset = stubSize;
    for (const PackedFile& file : m_files) {
        long padding = paddingBefore(file.type, file.length, offset);
        if (padding > 0) {
            const std::vector<char> zeros(static_cast<size_t>(padding), '\0');
            if (!output.file().writeAll(zeros.data(), padding)) {
                throw LauncherException(
                    describeSystemError(concat("Cannot write ", output.path()), errno));
            }
            offset += padding;
        }
        copyFile(file, output.file(), output.path());
        entries.push_back(new FileIndexEntry(file.type, file.id, file.length, offset, file.name));
        offset += file.length;
    }
    SString index = encodeFileIndex(entries, offset);
    if (!output.file().writeAll(index.c_str(), static_cast<long>(index.length()))) {
        throw LauncherException(describeSystemError(concat("Cannot write ", output.path()), errno));
    }
    output.commit(outputPath);
}

void LauncherWriter::openAndCheck(PackedFile& file) const {
    if (file.type < 0 || file.type > kHighestFileType) {
        throw LauncherException(concat("Invalid file type for ", file.path));
    }
    if (file.id > 0x7FFFFFFFL) {
        throw LauncherException(concat("The id of ", file.path, " does not fit in 31 bits."));
    }
    if (file.inMemory) {
        file.addLineFeed = isTagFileType(file.type) && checkTagText(file.content, file.name);
        file.length = static_cast<long>(file.content.length());
    } else {
        file.source.reset(new BinaryFile);
        file.length = openRegularFile(*file.source, file.path);
        file.addLineFeed =
            isTagFileType(file.type) && checkTagFile(*file.source, file.length, file.path);
    }
    if (file.addLineFeed) {
        ++file.length;
    }
}

void LauncherWriter::copyFile(const PackedFile& file, BinaryFile& output,
                              const SString& outputPath) const {
    const long ownLength = file.length - (file.addLineFeed ? 1 : 0);
    bool written = true;
    if (file.inMemory) {
        written = output.writeAll(file.content.data(), ownLength);
    } else {
        copyBytes(*file.source, output, ownLength, file.path, outputPath);
    }
    if (!written || (file.addLineFeed && !output.writeAll("\n", 1))) {
        throw LauncherException(describeSystemError(concat("Cannot write ", outputPath), errno));
    }
}

void LauncherWriter::checkNames() const {
    std::set<std::string> names;
    std::set<long> ids;
    for (const PackedFile& file : m_files) {
        if (!isPlainFileName(file.name) ||
            static_cast<long>(file.name.length()) > kMaxFileNameLength) {
            SString message = concat("Not a plain file name: \"", file.name, "\" (from ");
            message += concat("", file.path, ")");
            throw LauncherException(message);
        }
        if (!names.insert(std::string(file.name.c_str(), file.name.length())).second) {
            throw LauncherException(concat("Two files would be embedded as \"", file.name,
                                           "\"; the copies would overwrite each other."));
        }
        if (file.id >= 0 && !ids.insert(file.id).second) {
            throw LauncherException(
                concat("The id ", convertToString(file.id), " is given to two files."));
        }
    }
}

void LauncherWriter::assignIds() {
    std::set<long> taken;
    for (const PackedFile& file : m_files) {
        if (file.id >= 0) {
            taken.insert(file.id);
        }
    }
    long next = 1;
    for (PackedFile& file : m_files) {
        if (file.id >= 0) {
            continue;
        }
        while (taken.count(next) != 0) {
            ++next;
        }
        file.id = next;
        taken.insert(next);
    }
}

long LauncherWriter::checkTotalSize(long stubSize) const {
    long total = stubSize + kFileCountSize + kTrailerSize;
    long offset = stubSize;
    for (const PackedFile& file : m_files) {
        long padding = paddingBefore(file.type, file.length, offset);
        offset += padding + file.length;
        total +=
            padding + file.length + kIndexEntryHeaderSize + static_cast<long>(file.name.length());
        if (total > kMaxLauncherFileSize) {
            throw LauncherException(
                "The launcher file would reach 2 GiB; its positions are 32-bit numbers.");
        }
    }
    return total;
}
