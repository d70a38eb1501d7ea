#include "input/TagFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "base/LauncherException.h"
#include "base/StdioFile.h"
#include "base/TextUtil.h"
#include "platform/unix/BinaryFile.h"
#include "platform/unix/Log.h"

namespace {

const char kTagCompleter[] = "/:";
const char kMissingColon[] = "Missing colon at the end of the tag name.";
const char kMissingCompleter[] = "Missing /: tag completer.";
const char kUnableToRead[] = "Unable to read tag file.";

[[noreturn]] void throwWriteError(const SString& path) {
    throw LauncherException(concat("Unable to write tag file ", path));
}

// "<what> longer than <limit> bytes."
SString tooLong(const char* what, unsigned long limit) {
    SString message(what);
    message += " longer than ";
    message += convertToString(static_cast<long>(limit));
    return message += " bytes.";
}

// Replaces the contents of file with text and closes it.
void writeText(BinaryFile& file, const SString& text, const SString& name) {
    // A new file needs no truncation; a used one is cut. Either is written from its start.
    bool emptied = (file.size() == 0 || file.truncate()) && file.seek(0);
    bool written = emptied && file.writeAll(text.data(), static_cast<long>(text.length()));
    if (!file.close() || !written) {
        throwWriteError(name);
    }
}

bool startsWithQuote(const SString& line) {
    return !line.empty() && line.c_str()[0] == '"';
}

// A block line that starts with a double quote stands for the quoted argument after it.
SString blockValue(const SString& line) {
    if (!startsWithQuote(line)) {
        return line;
    }
    unsigned pos = 1;
    return parseStringArgument(line, pos, true);
}

// A value is written bare only when reading it back cannot change it.
bool needsQuotes(const SString& value) {
    if (value.empty() || value.find('"') != SString::npos) {
        return true;
    }
    return isWhitespace(value.c_str()[0]) || isWhitespace(value.c_str()[value.length() - 1]);
}

bool holdsLineBreakOrNul(const SString& text) {
    return text.find_first_of("\n\r") != SString::npos ||
           std::memchr(text.c_str(), '\0', text.length()) != nullptr;
}

// A line feed, carriage return or NUL cannot be stored in the format: writing one would split
// the value into further lines, which would read back as other tags. A name must also survive
// being cut at its first colon and trimmed.
void checkWritable(const TagFileEntry& entry, const SString& path) {
    SString trimmedName(entry.m_name);
    trim(trimmedName, whitespaceChars);
    bool nameOk = !holdsLineBreakOrNul(entry.m_name) && entry.m_name.find(':') == SString::npos &&
                  trimmedName.compare(entry.m_name) == 0;
    bool valuesOk = true;
    for (long i = 0; i < entry.m_values->size() && valuesOk; ++i) {
        valuesOk = !holdsLineBreakOrNul(entry.m_values->at(i));
    }
    if (nameOk && valuesOk) {
        return;
    }
    throw LauncherException(
        concat("Unable to write tag file ", path, ": tag \"", entry.m_name,
               nameOk ? "\" has a value that cannot be written (line break or NUL byte)."
                      : "\" has a name that cannot be written."));
}

void appendValue(SString& text, const SString& value) {
    if (!needsQuotes(value)) {
        text += "  ";
        text += value;
        text += '\n';
        return;
    }
    SString quoted(value);
    for (SString::size_type pos = quoted.find('"'); pos != SString::npos;
         pos = quoted.find('"', pos + 2)) {
        quoted.insert(pos, 1, '"');
    }
    text += "  \"";
    text += quoted;
    text += "\"\n";
}

void appendEntry(SString& text, const TagFileEntry& entry) {
    long count = entry.m_values->size();
    text += entry.m_name;
    text += ':';
    if (count > 1) {
        text += '\n';
    }
    for (long i = 0; i < count; ++i) {
        appendValue(text, entry.m_values->at(i));
    }
    if (count > 1) {
        text += kTagCompleter;
        text += '\n';
    }
}

}  // namespace

TagFile::TagFile() : m_loaded(false), m_lineNumber(0), m_bytesRead(0) {}

TagFile::TagFile(const SString& path) : TagFile() {
    StdioFile file(path.c_str(), "re");
    if (file.get() == nullptr) {
        throw LauncherException(concat("Unable to load input file: ", path));
    }
    load(file.get(), path, 0, -1);
}

TagFile::~TagFile() = default;

void TagFile::load(FILE* file, const SString& name, long offset, long length) {
    m_fileName = name;
    m_lineNumber = 0;
    m_bytesRead = 0;
    if (offset < 0 || std::fseek(file, offset, SEEK_SET) != 0) {
        throw LauncherException(kUnableToRead);
    }
    const long end = length < 0 ? -1 : offset + length;
    while (!std::feof(file) && (end < 0 || std::ftell(file) < end)) {
        // A read error leaves the stream short of its end for good; without this check the
        // loop would spin on it (a directory opened as a file does this).
        if (std::ferror(file)) {
            throw LauncherException(kUnableToRead);
        }
        SString line;
        readLine(file, line);
        if (line.empty()) {
            continue;
        }
        SString::size_type colon = line.find(':');
        if (colon == SString::npos) {
            logSyntaxError(kMissingColon, m_fileName, m_lineNumber);
        }
        SString tagName(line, 0, colon);
        trim(tagName, whitespaceChars);
        removeValue(tagName.c_str());
        if (colon + 1 == line.length()) {
            loadValueBlock(file, tagName);
        } else {
            loadSingleValue(line, colon, tagName);
        }
    }
    if (std::ferror(file)) {
        throw LauncherException(kUnableToRead);
    }
    m_loaded = true;
}

void TagFile::loadSingleValue(const SString& line, SString::size_type colon,
                              const SString& tagName) {
    // The line is trimmed and the colon is not its last byte, so a value byte exists.
    unsigned pos = line.find_first_not_of(whitespaceChars, colon + 1);
    SString value;
    if (line.c_str()[pos] == '"') {
        ++pos;
        value = parseStringArgument(line, pos, true);
    } else {
        value.assign(line, pos, SString::npos);
    }
    createEntry(tagName.c_str())->m_values->push_back(value);
}

void TagFile::loadValueBlock(FILE* file, const SString& tagName) {
    const long tagLine = m_lineNumber;
    StringDeque values;
    for (;;) {
        if (std::feof(file) || std::ferror(file)) {
            logSyntaxError(kMissingCompleter, m_fileName, tagLine);
        }
        SString line;
        readLine(file, line);
        SString value = blockValue(line);
        if (value.empty()) {
            continue;
        }
        if (value.compare(kTagCompleter) == 0) {
            break;
        }
        values.push_back(value);
    }
    if (values.size() == 0) {
        return;
    }
    StringDeque* stored = createEntry(tagName.c_str())->m_values;
    for (long i = 0; i < values.size(); ++i) {
        stored->push_back(values.at(i));
    }
}

StringDeque* TagFile::getValue(const char* tag) const {
    TagFileEntry* entry = findEntry(tag);
    return entry == nullptr ? nullptr : entry->m_values;
}

SString TagFile::getTagValue(const char* tag, unsigned index) const {
    const StringDeque* values = getValue(tag);
    if (values == nullptr || index >= static_cast<unsigned long>(values->size())) {
        return SString();
    }
    return values->at(static_cast<long>(index));
}

unsigned TagFile::getTagValueCount(const char* tag) const {
    const StringDeque* values = getValue(tag);
    return values == nullptr ? 0 : static_cast<unsigned>(values->size());
}

void TagFile::setTagValue(const char* tag, const SString& value) {
    TagFileEntry* entry = findEntry(tag);
    if (entry == nullptr) {
        createEntry(tag)->m_values->push_back(value);
        return;
    }
    StringDeque* values = entry->m_values;
    while (values->size() > 1) {
        values->erase(values->size() - 1);
    }
    if (values->size() == 0) {
        values->push_back(value);
    } else {
        values->at(0) = value;
    }
}

void TagFile::appendTagValue(const char* tag, const SString& value) {
    TagFileEntry* entry = findEntry(tag);
    if (entry == nullptr) {
        entry = createEntry(tag);
    }
    entry->m_values->push_back(value);
}

bool TagFile::getBoolTagValue(const char* tag, bool defaultValue) const {
    SString value = getTagValue(tag, 0);
    short number = 0;
    if (value.empty() || !convertToShort(value, number)) {
        return defaultValue;
    }
    return number != 0;
}

void TagFile::setBoolTagValue(const char* tag, bool value) {
    setTagValue(tag, value ? "1" : "0");
}

void TagFile::removeValue(const char* tag) {
    auto found = m_index.find(tag);
    if (found == m_index.end()) {
        return;
    }
    const long slot = found->second;
    m_index.erase(found);
    if (slot == m_entries.size() - 1) {
        m_entries.erase(slot);
    } else if (m_entries.size() > 2 * static_cast<long>(m_index.size()) + 30) {
        // Removed entries are swept once they outnumber the tags held: each sweep costs what
        // the removals since the last one did, so removing stays linear overall.
        compact();
    }
}

const TagFileEntryPtrDeque& TagFile::entries() const {
    compact();
    return m_entries;
}

void TagFile::compact() const {
    const long count = m_entries.size();
    if (count == static_cast<long>(m_index.size())) {
        return;
    }
    // Marked from the index, so that the sweep itself allocates nothing per entry.
    std::vector<long> newSlot(static_cast<size_t>(count), -1);
    for (const auto& named : m_index) {
        newSlot[static_cast<size_t>(named.second)] = 0;
    }
    long kept = 0;
    for (long& slot : newSlot) {
        if (slot == 0) {
            // Numbering the kept entries in order: replace_if cannot count.
            // cppcheck-suppress useStlAlgorithm
            slot = kept++;
        }
    }
    for (auto& named : m_index) {
        named.second = newSlot[static_cast<size_t>(named.second)];
    }
    m_entries.eraseIf(
        [&newSlot](long i, const TagFileEntry*) { return newSlot[static_cast<size_t>(i)] < 0; });
}

SString TagFile::render(const SString& name) const {
    compact();
    for (long i = 0; i < m_entries.size(); ++i) {
        if (m_entries.at(i)->m_values->size() > 0) {
            checkWritable(*m_entries.at(i), name);
        }
    }
    SString text;
    for (long i = 0; i < m_entries.size(); ++i) {
        const TagFileEntry& entry = *m_entries.at(i);
        if (entry.m_values->size() > 0) {
            appendEntry(text, entry);
        }
    }
    return text;
}

void TagFile::write(const SString& path) const {
    // Rendered first: a tag that cannot be written leaves no file behind.
    SString text = render(path);
    BinaryFile file;
    openForWriting(path, file);
    writeText(file, text, path);
}

void TagFile::write(BinaryFile& file, const SString& name) const {
    writeText(file, render(name), name);
}

void TagFile::openForWriting(const SString& path, BinaryFile& file) {
    if (file.openForWriting(path, 0666)) {
        return;
    }
    struct stat info;
    if (errno == ELOOP && lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        throw LauncherException(
            concat("Unable to write tag file ", path, ": it is a symbolic link"));
    }
    throwWriteError(path);
}

void TagFile::setDynamicJVMTags(const SString& jvmHome, const SString& jvmFile, bool jvmTemp) {
    setTagValue("JVM_HOME", jvmHome);
    setTagValue("JVM_FILE", jvmFile);
    setBoolTagValue("JVM_TEMP", jvmTemp);
}

void TagFile::logSyntaxError(const SString& message, const SString& fileName, long line) const {
    const SString text =
        concat("Syntax error in ", fileName, " at line ", convertToString(line), " ==> ", message);
    Log::logMessage(text, LOG_ERROR);
    throw LauncherException(text);
}

void TagFile::readLine(FILE* file, SString& line) {
    line.erase();
    ++m_lineNumber;
    unsigned long lineBytes = 0;
    if (!readLineFromStream(file, line, kMaxLineLength, lineBytes)) {
        line.erase();
        logSyntaxError(tooLong("Line", kMaxLineLength), m_fileName, m_lineNumber);
    }
    m_bytesRead += lineBytes;
    if (m_bytesRead > kMaxFileLength) {
        logSyntaxError(tooLong("Tag file", kMaxFileLength), m_fileName, m_lineNumber);
    }
}

TagFileEntry* TagFile::findEntry(const char* tag) const {
    auto found = m_index.find(tag);
    return found == m_index.end() ? nullptr : m_entries.at(found->second);
}

TagFileEntry* TagFile::createEntry(const char* tag) {
    // Called only for a tag that has no entry. If the list cannot take the entry, the name is
    // taken back, so that nothing refers to a missing entry.
    std::unique_ptr<TagFileEntry> entry(new TagFileEntry(SString(tag)));
    m_index.emplace(tag, m_entries.size());
    try {
        m_entries.push_back(entry.get());
    } catch (...) {
        m_index.erase(tag);
        throw;
    }
    return entry.release();
}
