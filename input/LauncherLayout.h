#ifndef QV_INPUT_LAUNCHERLAYOUT_H
#define QV_INPUT_LAUNCHERLAYOUT_H

#include "base/SString.h"

// The layout of a launcher file, shared by the launcher that reads it and the tool that builds
// it. The file is the executable, then the bytes of each embedded file, then the file index (a
// file count followed by one entry per file), then an 8-byte trailer: the position of the file
// count and the identification value. Every integer is a signed big-endian number and every
// position counts from the first byte of the file, so the whole file stays below 2 GiB.

// What an embedded file is; the value is the type byte of its index entry.
enum EmbeddedFileType {
    FILE_TYPE_INSTRUCTIONS = 0,
    FILE_TYPE_JVM = 1,
    FILE_TYPE_LAUNCH_SCRIPT = 2,
    FILE_TYPE_CLASSPATH = 3,
    FILE_TYPE_JVM_INSTALLER = 4,
    FILE_TYPE_VERIFY = 5,
    FILE_TYPE_APPLICATION = 6,
    FILE_TYPE_LAUNCHER = 7
};

const long kHighestFileType = FILE_TYPE_LAUNCHER;
// The last 4 bytes of a launcher that carries embedded files: 0xCA82CA82 read as signed.
const long kLauncherIdentification = -897398142L;
const long kTrailerSize = 8;

// A marker in the stub's own data that tells a packed launcher from the bare stub even when the
// payload is gone: strip (and every packaging step that runs it) cuts everything after the
// program's sections, but keeps its data. The stub is built with kStubMarkerBare; qvpack
// writes kStubMarkerPacked over it (same length, found once in the stub's bytes) in every
// launcher it makes.
inline constexpr char kStubMarkerBare[] = "qvlauncher-payload-marker:bare!!";
inline constexpr char kStubMarkerPacked[] = "qvlauncher-payload-marker:packed";
static_assert(sizeof kStubMarkerBare == sizeof kStubMarkerPacked, "the marker keeps its length");
// Type (1), id (4), length (4), offset (4) and name length (2); the name follows.
const long kIndexEntryHeaderSize = 15;
const long kFileCountSize = 4;
// Positions are signed 32-bit numbers.
const long kMaxLauncherFileSize = 0x7FFFFFFFL;
// The name length is a signed 16-bit number.
const long kMaxFileNameLength = 0x7FFF;

// The short name of a file type ("instructions", "jvm", "launch-script", "classpath",
// "installer", "verify", "app", "launcher"), or "unknown".
const char* fileTypeName(long type);
// Types 0 to 2 hold tag files, which the launcher reads in place.
bool isTagFileType(long type);
// Types 4 and 7 are programs: they are made executable when extracted.
bool isExecutableFileType(long type);

// True when name can be created inside a directory without leaving it or clashing with the
// directory itself: not empty, not "." or "..", and free of "/", line breaks and NUL bytes.
bool isPlainFileName(const SString& name);

// Append value as a big-endian number of 4 or 2 bytes (its low bytes).
void appendBigEndian32(SString& bytes, long value);
void appendBigEndian16(SString& bytes, long value);

#endif  // QV_INPUT_LAUNCHERLAYOUT_H
