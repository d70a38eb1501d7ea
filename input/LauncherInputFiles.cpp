#include "input/LauncherInputFiles.h"

#include <memory>

#include "base/TextUtil.h"
#include "input/LauncherLayout.h"
#include "input/StdioFile.h"
#include "input/TagFile.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherException.h"

namespace {

const char kInputFileName[] = "input.tag";

// The position of the trailer: the launcher file's size less the trailer's 8 bytes.
long trailerPosition(FILE* file) {
    if (std::fseek(file, 0, SEEK_END) != 0) {
        throw LauncherException("Invalid launcher format.");
    }
    long size = std::ftell(file);
    if (size < kTrailerSize) {
        throw LauncherException("Invalid launcher format.");
    }
    return size - kTrailerSize;
}

// Every entry takes at least its fixed 15 bytes, so the bytes between the count and the
// trailer bound the count; nothing is allocated for entries that cannot be there.
void checkFileCount(long count, long indexOffset, long trailerStart) {
    long available = trailerStart - indexOffset - kFileCountSize;
    if (available < 0 || count > available / kIndexEntryHeaderSize) {
        throw LauncherException("Invalid file count in file index: the entries cannot fit.");
    }
}

SString describeEntry(const FileIndexEntry& entry) {
    SString text("file type: ");
    text += convertToString(entry.getType());
    text += "\n  file id: ";
    text += convertToString(entry.getId());
    text += "\n  length: ";
    text += convertToString(entry.getLength());
    text += "\n  offset: ";
    text += convertToString(entry.getOffset());
    text += "\n  file name: ";
    text += entry.getName();
    return text;
}

}  // namespace

LauncherInputFiles::LauncherInputFiles() : m_loaded(false) {}

LauncherInputFiles::~LauncherInputFiles() = default;

void LauncherInputFiles::load(bool loadTagFiles) {
    loadLauncherFile(Launcher::getLauncherFileName(), loadTagFiles);
}

void LauncherInputFiles::loadLauncherFile(const SString& launcherFileName, bool loadTagFiles) {
    if (m_loaded) {
        return;
    }
    StdioFile file(launcherFileName.c_str(), "rbe");
    if (file.get() == nullptr) {
        throw LauncherException("Cannot open launcher file.");
    }
    try {
        if (std::fseek(file.get(), -kTrailerSize, SEEK_END) != 0) {
            throw LauncherException("Invalid launcher format.");
        }
        long indexOffset = loadLongValue(file.get(), "Unable to read file index offset.");
        long identification =
            loadLongValue(file.get(), "Unable to read launcher identification value.");
        if (identification == kLauncherIdentification) {
            loadFileIndex(file.get(), indexOffset);
            logEntries();
            if (loadTagFiles) {
                this->loadTagFiles(file.get());
            }
        }
    } catch (const LauncherException&) {
        m_fileIndex.clear();
        throw;
    } catch (...) {
        // Nothing else should escape the bounded reads above; if it does, say so rather than
        // run with a partial index.
        m_fileIndex.clear();
        throw LauncherException("Unable to read the file index of the launcher file.");
    }
    m_loaded = true;
}

void LauncherInputFiles::loadFileIndex(FILE* file, long indexOffset) {
    long trailerStart = trailerPosition(file);
    if (indexOffset < 0 || std::fseek(file, indexOffset, SEEK_SET) != 0) {
        throw LauncherException("Invalid file index offset.");
    }
    long count = loadLongValue(file, "Unable to read the file count.");
    if (count <= 0) {
        return;
    }
    checkFileCount(count, indexOffset, trailerStart);
    m_fileIndex.resize(m_fileIndex.size() + count);
    for (long i = 0; i < count; ++i) {
        std::unique_ptr<FileIndexEntry> entry(new FileIndexEntry);
        entry->load(file, trailerStart);
        m_fileIndex.push_back(entry.release());
    }
}

void LauncherInputFiles::loadTagFiles(FILE* launcherFile) {
    for (long i = 0; i < m_fileIndex.size(); ++i) {
        m_fileIndex.at(i)->loadTagFile(launcherFile);
    }
}

const FileIndexEntry* LauncherInputFiles::getFileAt(long index) const {
    return m_fileIndex.at(index);
}

const FileIndexEntry* LauncherInputFiles::getFile(long id) const {
    for (long i = 0; i < m_fileIndex.size(); ++i) {
        if (m_fileIndex.at(i)->getId() == id) {
            return m_fileIndex.at(i);
        }
    }
    return nullptr;
}

void LauncherInputFiles::extractAll() const {
    TagFile inputFile;
    inputFile.setTagValue("ACTION", "RUN_INSTRUCTIONS");
    for (long i = 0; i < m_fileIndex.size(); ++i) {
        const FileIndexEntry& entry = *m_fileIndex.at(i);
        switch (entry.getType()) {
            case FILE_TYPE_JVM:
                inputFile.appendTagValue("JVM", entry.getName());
                break;
            case FILE_TYPE_LAUNCH_SCRIPT:
                inputFile.setTagValue("LAUNCHSCRIPT", entry.getName());
                break;
            case FILE_TYPE_INSTRUCTIONS:
                inputFile.setTagValue("INSTRUCTIONS", entry.getName());
                break;
            default:
                break;
        }
        entry.extract(SString());
    }
    inputFile.write(kInputFileName);
}

void LauncherInputFiles::logEntries() const {
    for (long i = 0; i < m_fileIndex.size(); ++i) {
        Launcher::logMessage(describeEntry(*m_fileIndex.at(i)), LOG_INFO);
    }
}
