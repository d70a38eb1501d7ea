#include "input/LauncherLayout.h"

#include <cstring>

namespace {

const char* const kFileTypeNames[] = {"instructions", "jvm",    "launch-script", "classpath",
                                      "installer",    "verify", "app",           "launcher"};

}  // namespace

const char* fileTypeName(long type) {
    if (type < 0 || type > kHighestFileType) {
        return "unknown";
    }
    return kFileTypeNames[type];
}

bool isTagFileType(long type) {
    return type >= FILE_TYPE_INSTRUCTIONS && type <= FILE_TYPE_LAUNCH_SCRIPT;
}

bool isExecutableFileType(long type) {
    return type == FILE_TYPE_JVM_INSTALLER || type == FILE_TYPE_LAUNCHER;
}

bool isPlainFileName(const SString& name) {
    if (name.empty() || name.compare(".") == 0 || name.compare("..") == 0) {
        return false;
    }
    // A line break would also split the name's line in the input file written on extraction.
    return name.find_first_of("/\n\r") == SString::npos &&
           std::memchr(name.c_str(), '\0', name.length()) == nullptr;
}

void appendBigEndian32(SString& bytes, long value) {
    unsigned long bits = static_cast<unsigned long>(value);
    for (int shift = 24; shift >= 0; shift -= 8) {
        bytes += static_cast<char>((bits >> shift) & 0xFF);
    }
}

void appendBigEndian16(SString& bytes, long value) {
    unsigned long bits = static_cast<unsigned long>(value);
    bytes += static_cast<char>((bits >> 8) & 0xFF);
    bytes += static_cast<char>(bits & 0xFF);
}
