#include "tools/qvpack/JarFile.h"

#include <zip.h>

#include <cctype>
#include <vector>

#include "base/LauncherException.h"
#include "base/TextUtil.h"

namespace {

// The first class-file version there was (Java 1.0 and 1.1 wrote 45).
const long kFirstMajorVersion = 45;

struct ZipFileCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};

SString entryError(const SString& name, const SString& jarPath, const char* reason) {
    return concat("Cannot read ", name, " in ", jarPath, ": ", reason);
}

bool namesEqual(const SString& name, const char* expected) {
    SString::size_type i = 0;
    for (; i < name.length() && expected[i] != '\0'; ++i) {
        if (std::tolower(static_cast<unsigned char>(name[i])) !=
            std::tolower(static_cast<unsigned char>(expected[i]))) {
            return false;
        }
    }
    return i == name.length() && expected[i] == '\0';
}

// The lines of text, split at CR LF, LF or CR.
std::vector<SString> manifestLines(const SString& text) {
    std::vector<SString> lines;
    SString::size_type start = 0;
    while (start < text.length()) {
        SString::size_type end = text.find_first_of("\r\n", start);
        if (end == SString::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start =
            end + (text[end] == '\r' && end + 1 < text.length() && text[end + 1] == '\n' ? 2 : 1);
    }
    return lines;
}

[[noreturn]] void manifestError(const SString& jarPath, size_t line, const char* problem) {
    throw LauncherException(concat("Invalid manifest in ", jarPath, " at line ",
                                   convertToString(static_cast<long>(line)), ": ", problem));
}

void setAttribute(ManifestAttributes& attributes, const SString& header) {
    const SString::size_type colon = header.find(':');
    const SString name = header.substr(0, colon);
    SString value = header.substr(colon + 1);
    trim(value, " ");
    if (namesEqual(name, "Main-Class")) {
        attributes.mainClass = value;
    } else if (namesEqual(name, "Class-Path")) {
        attributes.classPath = value;
    }
}

}  // namespace

void JarFile::Closer::operator()(zip* archive) const {
    // Read only: nothing to write back, so the archive is discarded rather than closed.
    zip_discard(archive);
}

JarFile::JarFile(const SString& path) : m_path(path) {
    int errorCode = 0;
    m_archive.reset(zip_open(path.c_str(), ZIP_RDONLY, &errorCode));
    if (m_archive == nullptr) {
        zip_error_t error;
        zip_error_init_with_code(&error, errorCode);
        SString message = concat("Cannot read ", path, " as a jar: ", zip_error_strerror(&error));
        zip_error_fini(&error);
        throw LauncherException(message);
    }
}

JarFile::~JarFile() = default;

bool JarFile::readEntry(const SString& name, long maxBytes, SString& bytes) const {
    return read(name, maxBytes, true, bytes);
}

bool JarFile::readEntryStart(const SString& name, long count, SString& bytes) const {
    return read(name, count, false, bytes);
}

bool JarFile::read(const SString& name, long count, bool whole, SString& bytes) const {
    const zip_int64_t index = zip_name_locate(m_archive.get(), name.c_str(), 0);
    if (index < 0) {
        return false;
    }
    zip_stat_t info;
    zip_stat_init(&info);
    if (zip_stat_index(m_archive.get(), static_cast<zip_uint64_t>(index), 0, &info) != 0 ||
        (info.valid & ZIP_STAT_SIZE) == 0) {
        throw LauncherException(entryError(name, m_path, zip_strerror(m_archive.get())));
    }
    if (whole && info.size > static_cast<zip_uint64_t>(count)) {
        throw LauncherException(
            concat(name, " in ", m_path, " is longer than ", convertToString(count), " bytes"));
    }
    const long wanted =
        info.size < static_cast<zip_uint64_t>(count) ? static_cast<long>(info.size) : count;
    std::unique_ptr<zip_file_t, ZipFileCloser> entry(
        zip_fopen_index(m_archive.get(), static_cast<zip_uint64_t>(index), 0));
    if (entry == nullptr) {
        throw LauncherException(entryError(name, m_path, zip_strerror(m_archive.get())));
    }
    std::vector<char> buffer(static_cast<size_t>(wanted) + 1);
    long got = 0;
    while (got < wanted) {
        const zip_int64_t step =
            zip_fread(entry.get(), buffer.data() + got, static_cast<zip_uint64_t>(wanted - got));
        if (step < 0) {
            throw LauncherException(entryError(name, m_path, zip_file_strerror(entry.get())));
        }
        if (step == 0) {
            throw LauncherException(entryError(name, m_path, "it ends before its size"));
        }
        got += static_cast<long>(step);
    }
    bytes = SString(buffer.data(), static_cast<SString::size_type>(got));
    return true;
}

ManifestAttributes parseManifest(const SString& text, const SString& jarPath) {
    ManifestAttributes attributes;
    const std::vector<SString> lines = manifestLines(text);
    SString header;  // the attribute being read, continuations included
    for (size_t i = 0; i < lines.size() && !lines[i].empty(); ++i) {
        const SString& line = lines[i];
        if (line[0] == ' ') {
            if (header.empty()) {
                manifestError(jarPath, i + 1, "a continuation line with nothing to continue");
            }
            header += line.substr(1);
            continue;
        }
        if (line.find(':') == SString::npos) {
            manifestError(jarPath, i + 1, "a line without \"Name: value\"");
        }
        if (!header.empty()) {
            setAttribute(attributes, header);
        }
        header = line;
    }
    if (!header.empty()) {
        setAttribute(attributes, header);
    }
    return attributes;
}

long classFileMajorVersion(const SString& header, const SString& what) {
    const unsigned char magic[] = {0xCA, 0xFE, 0xBA, 0xBE};
    bool isClass = header.length() >= 8;
    for (size_t i = 0; isClass && i < sizeof magic; ++i) {
        isClass = static_cast<unsigned char>(header[i]) == magic[i];
    }
    const long major = isClass ? (static_cast<unsigned char>(header[6]) << 8) |
                                     static_cast<unsigned char>(header[7])
                               : 0;
    if (major < kFirstMajorVersion) {
        throw LauncherException(concat(what, " is not a class file"));
    }
    return major;
}

SString javaRangeForMajorVersion(long major) {
    // Class-file version 44 + N is Java N; Java 8 and before are spelled 1.N.
    const long feature = major - 44;
    return concat(feature <= 8 ? "[1." : "[", convertToString(feature), ",)");
}
