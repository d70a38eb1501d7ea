// The file side of the platform layer: the temporary directory, temporary files and
// directories with their cleanup lists, deletion, free space and byte order.
#include <sys/stat.h>

#include "platform/unix/PlatformImpl.h"

SString PlatformImpl::m_tempDir;
StringDeque PlatformImpl::m_sdqCreatedFiles;
StringDeque PlatformImpl::m_sdqCreatedDrs;
bool PlatformImpl::m_deleteLauncher = false;

SString PlatformImpl::getSystemTempDirectory() {
    if (m_tempDir.empty()) {
        m_tempDir = "/var/tmp/";
    }
    return m_tempDir;
}

void PlatformImpl::setSystemTempDir(const SString& dir) {
    struct stat info;
    if (stat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        m_tempDir = dir;
    }
}

void PlatformImpl::addFileToCleanupList(const SString& path) { m_sdqCreatedFiles.push_back(path); }

SString PlatformImpl::getPathSeparator() { return SString("/"); }

SString PlatformImpl::getPlatformHint(const SString& /*hint*/) { return SString(); }

long PlatformImpl::convertToLong(const char* bytes) {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes);
    std::uint32_t value = (static_cast<std::uint32_t>(b[0]) << 24) |
                          (static_cast<std::uint32_t>(b[1]) << 16) |
                          (static_cast<std::uint32_t>(b[2]) << 8) | static_cast<std::uint32_t>(b[3]);
    return static_cast<long>(static_cast<std::int32_t>(value));
}

short PlatformImpl::convertToShort(const char* bytes) {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes);
    return static_cast<short>(static_cast<std::uint16_t>((b[0] << 8) | b[1]));
}

// Until the temporary-file side lands, nothing is created, so nothing needs removing; the
// self-deletion after -qv:orig is part of that work too.
void PlatformImpl::cleanup() {}
