#ifndef QV_BASE_TEXTUTIL_H
#define QV_BASE_TEXTUTIL_H

#include <cstdio>
#include <memory>

#include "base/SString.h"

// Text, number and console helpers shared by every subsystem.

// Space, tab, line feed and carriage return: the white space of lines, tag files and bare
// arguments.
extern const char whitespaceChars[];

// Console output switch: the line writers print only while it is true.
extern bool g_enableOutput;

// Reads a decimal number as "%ld" does (leading white space, optional sign, digits, the rest
// ignored). Returns false and leaves value unchanged when no number starts the text.
bool convertToLong(const SString& text, long& value);
bool convertToShort(const SString& text, short& value);
SString convertToString(long value);

// The parts (SString, text or character) one after the other: the way to build a message from
// pieces, instead of a chain of += on a named temporary.
template <typename... Parts>
SString concat(const Parts&... parts) {
    SString text;
    ((text += parts), ...);
    return text;
}

// Removes every leading and trailing byte that occurs in chars.
void trim(SString& text, const char* chars);
// Removes one leading double quote, then one trailing double quote, each when present.
void stripQuotes(SString& text);
// Appends "/" unless path is empty or already ends with it.
void appendPathSeparator(SString& path);
// The position where suffix starts when text ends with it, else npos.
unsigned stringEndsWith(const SString& text, const char* suffix);
bool isWhitespace(char c);

// Reads up to count bytes, stopping at end of file; returns the number read.
unsigned getBytes(FILE* file, char* buffer, unsigned count);
// Read a big-endian integer; throw LauncherException(errorMessage) when the file ends first.
long loadLongValue(FILE* file, const char* errorMessage);
short loadShortValue(FILE* file, const char* errorMessage);

// Appends one line (without its line feed and carriage returns) to line, then trims it.
void readLineFromStream(FILE* file, SString& line);
// The same for a line of at most maxLength bytes before its line feed; bytesRead is set to
// the bytes taken from the stream, line feed included. Returns false, leaving line untrimmed
// and the stream just past maxLength + 1 bytes, when the line is longer.
bool readLineFromStream(FILE* file, SString& line, unsigned long maxLength,
                        unsigned long& bytesRead);
// The same over text from pos; pos ends past the line feed (length + 1 at the end of text).
void readLineFromString(const SString& text, unsigned& pos, SString& line);

// Takes one argument from text at pos: bare (up to white space) or, with quoted, the rest of a
// double-quoted argument whose opening quote is just before pos ("" stands for one quote).
// pos ends on the byte after the argument, or npos at the end of the text. Throws
// LauncherException when a quoted argument has no closing quote.
SString parseStringArgument(const SString& text, unsigned& pos, bool quoted);
// Skips white space (isspace) and returns the next run of other bytes; pos ends one past the
// byte that ended the token. flag is left unchanged.
SString getTokenFromString(const SString& text, unsigned& pos, bool& flag);

// Widens text byte by byte (sign-extended), turning "\uXXXX" escapes into one character.
// The array is zero-terminated.
std::unique_ptr<wchar_t[]> convertToUnicode(const SString& text);

// Reads the stream in 4096-byte blocks to its end, appending to *out when out is not null and
// calling onBlock, when given, once per block (a caller's progress display). Returns the size
// of the last block read.
unsigned readFromFile(FILE* file, SString* out, void (*onBlock)() = nullptr);

void writeLine(const SString& text);
void writeLine(const char* text);
void write(const char* text);
// Reads one white-space-delimited word (at most 1023 bytes) from standard input; empty at end
// of input.
SString getLine();

#endif  // QV_BASE_TEXTUTIL_H
