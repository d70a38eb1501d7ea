// The application archive for the launch script's APPLICATION_ARCHIVE function: the archive
// embedded in the launcher, or a copy of a file beside the original launcher. The first path
// found is kept for the whole run and returned by both forms from then on.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "base/StdioFile.h"
#include "base/TextUtil.h"
#include "input/FileIndexEntry.h"
#include "input/LauncherLayout.h"
#include "launcher/Launcher.h"
#include "platform/unix/PlatformImpl.h"
#include "platform/unix/SystemError.h"

namespace {

const size_t kCopyBlockSize = 4096;

bool isPathSeparator(char c) {
    return c == '/' || c == '\\';
}

// True for a relative path that stays below the directory it is joined to: not empty, not
// absolute, no NUL byte, no ".." component, and naming a file rather than a directory (not
// ending in a separator or "."). Both "/" and "\" count as separators, as they do for the
// copy's name.
bool isSafeRelativePath(const SString& name) {
    if (name.empty() || isPathSeparator(name[0])) {
        return false;
    }
    SString::size_type componentStart = 0;
    for (SString::size_type i = 0; i <= name.length(); ++i) {
        if (i < name.length() && name[i] == '\0') {
            return false;
        }
        if (i < name.length() && !isPathSeparator(name[i])) {
            continue;
        }
        SString component(name, componentStart, i - componentStart);
        if (component.compare("..") == 0) {
            return false;
        }
        if (i == name.length() && (component.empty() || component.compare(".") == 0)) {
            return false;
        }
        componentStart = i + 1;
    }
    return true;
}

// Everything after the last "/" or "\" of name; all of name when it has neither.
SString lastComponent(const SString& name) {
    SString::size_type separator = name.find_last_of("/\\");
    return separator == SString::npos ? name : name.substr(separator + 1);
}

[[noreturn]] void throwWriteError(int err) {
    SString message = PlatformImpl::getMessageText(MSG_ERROR_WRITING_FILE);
    message += convertToString(static_cast<long>(err));
    message += PlatformImpl::getMessageText(MSG_NOT_ENOUGH_SPACE);
    throw LauncherException(message);
}

// Copies source to target in blocks and closes target. Throws LauncherException on a read
// error, and the catalog's write error (with the system error number) when target cannot take
// the bytes, including bytes still buffered at the close. A target abandoned on an error is
// closed by its owner without a further report: the error is already being thrown.
void copyFile(FILE* source, StdioFile& target, const SString& sourcePath) {
    char block[kCopyBlockSize];
    for (;;) {
        size_t got = std::fread(block, 1, sizeof block, source);
        if (got > 0 && std::fwrite(block, 1, got, target.get()) != got) {
            throwWriteError(errno);
        }
        if (got < sizeof block) {
            break;
        }
    }
    if (std::ferror(source)) {
        // Read before the message is built, which may allocate.
        int err = errno;
        throwSystemError(concat("Error reading application archive ", sourcePath, ": ").c_str(),
                         err);
    }
    // Buffered bytes may fail only now, when they reach the disk.
    if (std::fflush(target.get()) != 0 || !target.close()) {
        throwWriteError(errno);
    }
}

}  // namespace

const SString& Launcher::getApplicationArchive() {
    if (!m_applicationArchive.empty()) {
        return m_applicationArchive;
    }
    // Every archive entry is extracted; the last one is the archive. The run's directory is
    // made for the first one: a launcher without an archive leaves no empty directory.
    for (long i = 0; const FileIndexEntry* entry = m_inputFiles.getFileAt(i); ++i) {
        if (entry->getType() == FILE_TYPE_APPLICATION) {
            m_applicationArchive = entry->extractForRun();
        }
    }
    return m_applicationArchive;
}

const SString& Launcher::getApplicationArchive(const SString& name) {
    if (!m_applicationArchive.empty()) {
        return m_applicationArchive;
    }
    if (!isSafeRelativePath(name)) {
        Log::logMessage(
            concat("Refusing to copy the application archive \"", name,
                   "\": the name must be a relative path to a file, without \"..\" components."),
            LOG_ERROR);
        return m_applicationArchive;
    }
    SString source = getOriginalLauncherDir();
    const SString separator = PlatformImpl::getPathSeparator();
    if (!source.empty() && stringEndsWith(source, separator.c_str()) == SString::npos) {
        source += separator;
    }
    source += name;
    StdioFile sourceFile(source.c_str(), "rb");
    if (sourceFile.get() == nullptr) {
        return m_applicationArchive;
    }

    // The copy joins the run's other extracted files, unless one of them has its name.
    SString target = PlatformImpl::runDirectory();
    appendPathSeparator(target);
    target += lastComponent(name);
    struct stat info;
    if (lstat(target.c_str(), &info) == 0) {
        target = PlatformImpl::createTempSubDirectory();
        appendPathSeparator(target);
        target += lastComponent(name);
    }
    StdioFile targetFile(target.c_str(), "wb");
    if (targetFile.get() == nullptr) {
        return m_applicationArchive;
    }
    // The path is kept only for a complete copy, so a later call never hands out a cut one.
    copyFile(sourceFile.get(), targetFile, source);
    m_applicationArchive = target;
    return m_applicationArchive;
}
