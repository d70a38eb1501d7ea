#ifndef QV_INPUT_TAGFILE_H
#define QV_INPUT_TAGFILE_H

#include <cstdio>
#include <string>
#include <unordered_map>

#include "base/PtrDeque.h"
#include "base/SString.h"
#include "base/StringDeque.h"

// One tag of a tag file: its name as written and its values (owned).
class TagFileEntry {
public:
    explicit TagFileEntry(const SString& name) : m_name(name), m_values(new StringDeque) {}
    TagFileEntry(const TagFileEntry&) = delete;
    TagFileEntry& operator=(const TagFileEntry&) = delete;
    ~TagFileEntry() { delete m_values; }

    SString m_name;
    StringDeque* m_values;
};

class BinaryFile;

typedef PtrDE<TagFileEntry> TagFileEntryPtrDE;
typedef PtrDeque<TagFileEntry> TagFileEntryPtrDeque;

// A parsed tag file: named tags, each with one or more string values. Every configuration file
// of the launcher is one (input files, jvm files, launch scripts, instruction scripts).
//
// Format: one "NAME: value" per line ("NAME: "quoted "" value"" for a value with quotes or
// edge blanks), or "NAME:" followed by one value per line up to a "/:" line. The last
// definition of a tag wins; empty lines are ignored; there are no comments. Loading errors are
// logged and thrown as LauncherException "Syntax error in <file> at line <n> ==> <message>".
// A line holds at most kMaxLineLength bytes before its line feed, and a load reads at most
// kMaxFileLength bytes: input that never ends a line or never ends at all (a device such as
// /dev/zero) is a loading error instead of filling memory.
class TagFile {
public:
    // 2 MiB: a value of 1 MiB with its name and quotes fits on one line.
    static constexpr unsigned long kMaxLineLength = 2UL * 1024 * 1024;
    static constexpr unsigned long kMaxFileLength = 64UL * 1024 * 1024;

    TagFile();
    // Loads the file at path. Throws LauncherException "Unable to load input file: <path>" when
    // it cannot be opened, or the loading errors.
    explicit TagFile(const SString& path);
    TagFile(const TagFile&) = delete;
    TagFile& operator=(const TagFile&) = delete;
    virtual ~TagFile();

    // Reads tags from offset; with a length of 0 or more, stops at the first tag that starts at
    // or after offset + length. Merges into the tags already held. name is used in error texts.
    void load(FILE* file, const SString& name, long offset, long length);
    bool isLoaded() const { return m_loaded; }

    // The tag's values, or null when absent (exact, case-sensitive name).
    StringDeque* getValue(const char* tag) const;
    // The value at index; empty when the tag is absent or index is past its values.
    SString getTagValue(const char* tag, unsigned index) const;
    unsigned getTagValueCount(const char* tag) const;
    // Makes value the tag's only value, creating the tag at the end when absent.
    void setTagValue(const char* tag, const SString& value);
    // Adds value after the tag's values, creating the tag at the end when absent.
    void appendTagValue(const char* tag, const SString& value);
    // The first value read as a 16-bit decimal number (!= 0), or defaultValue when it is empty
    // or not a number.
    bool getBoolTagValue(const char* tag, bool defaultValue) const;
    void setBoolTagValue(const char* tag, bool value);
    void removeValue(const char* tag);

    // Writes the tags with values to path (created or truncated), quoting values that need it.
    // A symbolic link at path is refused, not followed. Throws LauncherException "Unable to
    // write tag file <path>" (followed by ": it is a symbolic link" for a link) when path
    // cannot be opened or the data cannot be written out completely, and, before anything is
    // opened, when a name or value cannot be represented (a line break or NUL byte; a colon or
    // edge blanks in a name).
    void write(const SString& path) const;
    // The same through file, already open for writing (for a temporary file, on the
    // descriptor that created it): its contents are replaced and it is closed. name stands for
    // the file in messages. Nothing is written when a tag cannot be represented.
    void write(BinaryFile& file, const SString& name) const;
    // Opens path for write(file, name) without following a symbolic link at it; the contents
    // stay until the write. Throws LauncherException as write(path) does when it cannot.
    static void openForWriting(const SString& path, BinaryFile& file);
    // Records where a JVM found or installed at run time lives: JVM_HOME, JVM_FILE, JVM_TEMP.
    void setDynamicJVMTags(const SString& jvmHome, const SString& jvmFile, bool jvmTemp);

    // Logs "Syntax error in <fileName> at line <line> ==> <message>" and throws it.
    [[noreturn]] void logSyntaxError(const SString& message, const SString& fileName,
                                     long line) const;
    // Reads one line and counts it and its bytes; throws the loading error when the line or
    // the bytes read since load began pass their bound.
    void readLine(FILE* file, SString& line);

    // The tags in the order they were defined, a redefined tag where it was last defined.
    const TagFileEntryPtrDeque& entries() const;
    const SString& fileName() const { return m_fileName; }

private:
    // The text that write stores; throws when a tag cannot be represented.
    SString render(const SString& name) const;
    // The value of a "NAME: value" line whose first colon is at colon.
    void loadSingleValue(const SString& line, SString::size_type colon, const SString& tagName);
    // Reads the lines after "NAME:" up to the "/:" line; throws when the stream ends first.
    void loadValueBlock(FILE* file, const SString& tagName);
    TagFileEntry* findEntry(const char* tag) const;
    TagFileEntry* createEntry(const char* tag);
    // Deletes the entries that were removed and renumbers the rest in m_index.
    void compact() const;

    // The entries in definition order. A removed tag's entry stays in its slot, out of
    // m_index, until compact() deletes it: erasing it at once would shift every later entry
    // and renumber them, quadratic over a file that redefines thousands of tags.
    mutable TagFileEntryPtrDeque m_entries;
    // Each tag's name to the slot of its entry in m_entries: a lookup is not a scan.
    mutable std::unordered_map<std::string, long> m_index;
    bool m_loaded;
    long m_lineNumber;
    // Bytes read by the current load.
    unsigned long m_bytesRead;
    SString m_fileName;
};

typedef PtrDE<TagFile> TagFilePtrDE;
typedef PtrDeque<TagFile> TagFilePtrDeque;

#endif  // QV_INPUT_TAGFILE_H
