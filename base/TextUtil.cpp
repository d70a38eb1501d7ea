#include "base/TextUtil.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "base/LauncherException.h"

const char whitespaceChars[] = " \t\n\r";

bool g_enableOutput = true;

namespace {

// strtol with base 10 reads exactly what "%ld" reads, but saturates instead of overflowing.
bool parseDecimal(const SString& text, long& value) {
    const char* start = text.c_str();
    char* end = nullptr;
    errno = 0;
    long parsed = std::strtol(start, &end, 10);
    if (end == start) {
        return false;
    }
    value = parsed;
    return true;
}

// The launcher file's integers are big-endian and signed: four bytes for a long, two for a
// short.
long decodeBigEndianLong(const char* bytes) {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes);
    std::uint32_t value =
        (static_cast<std::uint32_t>(b[0]) << 24) | (static_cast<std::uint32_t>(b[1]) << 16) |
        (static_cast<std::uint32_t>(b[2]) << 8) | static_cast<std::uint32_t>(b[3]);
    return static_cast<long>(static_cast<std::int32_t>(value));
}

short decodeBigEndianShort(const char* bytes) {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes);
    return static_cast<short>(static_cast<std::uint16_t>((b[0] << 8) | b[1]));
}

}  // namespace

bool convertToLong(const SString& text, long& value) {
    return parseDecimal(text, value);
}

bool convertToShort(const SString& text, short& value) {
    long parsed = 0;
    if (!parseDecimal(text, parsed)) {
        return false;
    }
    // "%hd" keeps the low 16 bits of what it read.
    value = static_cast<short>(static_cast<unsigned short>(static_cast<unsigned long>(parsed)));
    return true;
}

SString convertToString(long value) {
    char buffer[32];
    // NOLINTNEXTLINE(cert-err33-c): 32 bytes hold any long in decimal; nothing can be cut.
    std::snprintf(buffer, sizeof buffer, "%ld", value);
    return SString(buffer);
}

void trim(SString& text, const char* chars) {
    SString::size_type first = text.find_first_not_of(chars);
    if (first == SString::npos) {
        text.erase();
        return;
    }
    SString::size_type last = text.find_last_not_of(chars);
    text.erase(last + 1);
    text.erase(0, first);
}

void stripQuotes(SString& text) {
    if (!text.empty() && text.c_str()[0] == '"') {
        text.erase(0, 1);
    }
    if (!text.empty() && text.c_str()[text.length() - 1] == '"') {
        text.erase(text.length() - 1);
    }
}

void appendPathSeparator(SString& path) {
    if (!path.empty() && stringEndsWith(path, "/") == SString::npos) {
        path += '/';
    }
}

unsigned stringEndsWith(const SString& text, const char* suffix) {
    SString::size_type suffixLength = CharTraits::length(suffix);
    if (suffixLength > text.length()) {
        return SString::npos;
    }
    SString::size_type start = text.length() - suffixLength;
    return text.compare(start, suffixLength, suffix, suffixLength) == 0 ? start : SString::npos;
}

bool isWhitespace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

unsigned getBytes(FILE* file, char* buffer, unsigned count) {
    unsigned total = 0;
    while (total < count) {
        size_t got = std::fread(buffer + total, 1, count - total, file);
        if (got == 0) {
            break;
        }
        total += static_cast<unsigned>(got);
    }
    return total;
}

long loadLongValue(FILE* file, const char* errorMessage) {
    char bytes[4];
    if (getBytes(file, bytes, 4) < 4) {
        throw LauncherException(errorMessage);
    }
    return decodeBigEndianLong(bytes);
}

short loadShortValue(FILE* file, const char* errorMessage) {
    char bytes[2];
    if (getBytes(file, bytes, 2) < 2) {
        throw LauncherException(errorMessage);
    }
    return decodeBigEndianShort(bytes);
}

void readLineFromStream(FILE* file, SString& line) {
    unsigned long bytesRead = 0;
    readLineFromStream(file, line, ULONG_MAX, bytesRead);
}

bool readLineFromStream(FILE* file, SString& line, unsigned long maxLength,
                        unsigned long& bytesRead) {
    // Bytes gather in a block before they join the line, and the stream is read without
    // taking its lock per byte (no other thread reads it): a line of megabytes costs a copy,
    // not a call per byte.
    char block[4096];
    size_t held = 0;
    bool complete = true;
    bytesRead = 0;
    int c;
    while ((c = getc_unlocked(file)) != EOF) {
        ++bytesRead;
        if (c == '\n') {
            break;
        }
        if (bytesRead > maxLength) {
            complete = false;
            break;
        }
        if (c != '\r') {
            block[held++] = static_cast<char>(c);
            if (held == sizeof block) {
                line.append(block, static_cast<SString::size_type>(held));
                held = 0;
            }
        }
    }
    line.append(block, static_cast<SString::size_type>(held));
    if (complete) {
        trim(line, whitespaceChars);
    }
    return complete;
}

void readLineFromString(const SString& text, unsigned& pos, SString& line) {
    if (pos >= text.length()) {
        return;
    }
    SString::size_type end = text.find('\n', pos);
    SString::size_type stop = end == SString::npos ? text.length() : end;
    for (SString::size_type i = pos; i < stop; ++i) {
        char c = text.c_str()[i];
        if (c != '\r') {
            line += c;
        }
    }
    pos = stop + 1;
    trim(line, whitespaceChars);
}

SString parseStringArgument(const SString& text, unsigned& pos, bool quoted) {
    SString result;
    if (!quoted) {
        if (pos >= text.length()) {
            pos = SString::npos;
            return result;
        }
        SString::size_type end = text.find_first_of(whitespaceChars, pos);
        if (end == SString::npos) {
            result.assign(text, pos, SString::npos);
            pos = SString::npos;
        } else {
            result.assign(text, pos, end - pos);
            pos = end;
        }
        return result;
    }

    SString::size_type quote = text.find('"', pos);
    while (quote != SString::npos) {
        bool lastByte = quote + 1 == text.length();
        if (lastByte || text.c_str()[quote + 1] != '"') {
            result.append(text, pos, quote - pos);
            pos = quote + 1;
            if (pos >= text.length()) {
                pos = SString::npos;
            }
            return result;
        }
        if (quote + 2 == text.length()) {
            // A doubled quote that ends the text leaves the argument open.
            pos = SString::npos;
            break;
        }
        result.append(text, pos, quote - pos + 1);
        pos = quote + 2;
        quote = text.find('"', pos);
    }
    throw LauncherException(concat("Expected double quote to end argument near ",
                                   convertToString(static_cast<long>(static_cast<int>(pos)))));
}

SString getTokenFromString(const SString& text, unsigned& pos, bool& /*flag*/) {
    const SString::size_type length = text.length();
    const char* bytes = text.c_str();
    while (pos < length && std::isspace(static_cast<unsigned char>(bytes[pos]))) {
        ++pos;
    }
    if (pos >= length) {
        return SString();
    }
    SString::size_type start = pos;
    while (pos < length && !std::isspace(static_cast<unsigned char>(bytes[pos]))) {
        ++pos;
    }
    SString token(text, start, pos - start);
    ++pos;
    return token;
}

std::unique_ptr<wchar_t[]> convertToUnicode(const SString& text) {
    const SString::size_type length = text.length();
    const char* bytes = text.c_str();
    std::unique_ptr<wchar_t[]> wide(new wchar_t[static_cast<size_t>(length) + 1]());
    size_t out = 0;
    for (SString::size_type i = 0; i < length;) {
        if (bytes[i] == '\\' && i + 5 < length && (bytes[i + 1] == 'u' || bytes[i + 1] == 'U')) {
            // The four bytes after the u, read as "%x" reads them.
            char digits[5] = {bytes[i + 2], bytes[i + 3], bytes[i + 4], bytes[i + 5], '\0'};
            char* end = nullptr;
            unsigned long code = std::strtoul(digits, &end, 16);
            if (end != digits) {
                wide[out++] = static_cast<wchar_t>(code);
                i += 6;
                continue;
            }
        }
        wide[out++] = static_cast<wchar_t>(static_cast<signed char>(bytes[i]));
        ++i;
    }
    return wide;
}

unsigned readFromFile(FILE* file, SString* out, void (*onBlock)()) {
    char block[4096];
    unsigned lastRead = 0;
    while (!std::feof(file) && !std::ferror(file)) {
        size_t got = std::fread(block, 1, sizeof block, file);
        lastRead = static_cast<unsigned>(got);
        if (got > 0 && out != nullptr) {
            out->append(block, static_cast<SString::size_type>(got));
        }
        if (onBlock != nullptr) {
            onBlock();
        }
    }
    return lastRead;
}

void writeLine(const SString& text) {
    writeLine(text.c_str());
}

void writeLine(const char* text) {
    if (g_enableOutput) {
        std::printf("%s\n", text);
        // NOLINTNEXTLINE(cert-err33-c): a console that cannot be written has no one to tell.
        std::fflush(stdout);
    }
}

void write(const char* text) {
    if (g_enableOutput) {
        std::printf("%s", text);
        // NOLINTNEXTLINE(cert-err33-c): a console that cannot be written has no one to tell.
        std::fflush(stdout);
    }
}

SString getLine() {
    char word[1024] = {0};
    if (std::scanf("%1023s", word) != 1) {
        return SString();
    }
    return SString(word);
}
