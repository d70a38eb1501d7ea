#include "launcher/LauncherInputFiles.h"

#include <memory>

#include "base/LauncherException.h"
#include "base/TextUtil.h"
#include "input/LauncherLayout.h"
#include "input/TagFile.h"
#include "instructions/Instructions.h"
#include "jvm/JVMFile.h"
#include "launcher/Launcher.h"
#include "launcher/LauncherActions.h"
#include "launchscript/LaunchScript.h"
#include "platform/unix/BinaryFile.h"
#include "platform/unix/PlatformImpl.h"

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
    return concat("file type: ", convertToString(entry.getType()),
                  "\n  file id: ", convertToString(entry.getId()),
                  "\n  length: ", convertToString(entry.getLength()),
                  "\n  offset: ", convertToString(entry.getOffset()),
                  "\n  file name: ", entry.getName());
}

// The catalog text for what was being loaded, followed directly by the cause.
[[noreturn]] void throwLoadingError(MessageIdentifier what, const LauncherException& cause) {
    SString message = PlatformImpl::getMessageText(what);
    throw LauncherException(message += cause.m_message);
}

}  // namespace

LauncherInputFiles::LauncherInputFiles(const LauncherContext& context) noexcept
    : m_context(context),
      m_jvmFiles(context),
      m_jvmFilesChosen(false),
      m_loaded(false),
      m_hasFileIndex(false) {}

LauncherInputFiles::~LauncherInputFiles() = default;

bool LauncherInputFiles::openLauncherFile(const SString& openPath, const SString& name) {
    return m_launcherFile.open(openPath, name);
}

void LauncherInputFiles::load(bool loadTagFiles) {
    if (m_loaded) {
        return;
    }
    if (!m_launcherFile.wasOpenAttempted()) {
        SString name = m_context.launcherFile();
        m_launcherFile.open(name, name);
    }
    readLauncherFile(loadTagFiles);
    if (loadTagFiles) {
        buildEmbeddedObjects();
    }
}

void LauncherInputFiles::loadLauncherFile(const SString& launcherFileName, bool loadTagFiles) {
    if (m_loaded) {
        return;
    }
    m_launcherFile.open(launcherFileName, launcherFileName);
    readLauncherFile(loadTagFiles);
}

void LauncherInputFiles::readLauncherFile(bool loadTagFiles) {
    if (!m_launcherFile.isOpen()) {
        throw LauncherException("Cannot open launcher file.");
    }
    LauncherFileStream file(m_launcherFile);
    if (file.get() == nullptr) {
        throw LauncherException("Unable to read the file index of the launcher file.");
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
            m_hasFileIndex = true;
            logEntries();
            if (loadTagFiles) {
                this->loadTagFiles(file.get());
            }
        }
    } catch (const LauncherException&) {
        m_fileIndex.clear();
        m_hasFileIndex = false;
        throw;
    } catch (...) {
        // Nothing else should escape the bounded reads above; if it does, say so rather than
        // run with a partial index.
        m_fileIndex.clear();
        m_hasFileIndex = false;
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
        entry->setLauncherFile(&m_launcherFile);
        m_fileIndex.push_back(entry.release());
    }
}

void LauncherInputFiles::loadTagFiles(FILE* launcherFile) {
    for (long i = 0; i < m_fileIndex.size(); ++i) {
        m_fileIndex.at(i)->loadTagFile(launcherFile);
    }
}

void LauncherInputFiles::buildEmbeddedObjects() {
    // The instruction script comes first, whatever the index order: whether it asks for a
    // quiet console decides where the launch script's title may go.
    for (long i = 0; i < m_fileIndex.size() && !m_instructions; ++i) {
        FileIndexEntry& entry = *m_fileIndex.at(i);
        TagFile* tags = entry.getTagFile();
        // The first instruction script wins; later ones are read but not used.
        if (tags != nullptr && entry.getType() == FILE_TYPE_INSTRUCTIONS) {
            setInstructions(*tags);
        }
    }
    for (long i = 0; i < m_fileIndex.size(); ++i) {
        FileIndexEntry& entry = *m_fileIndex.at(i);
        TagFile* tags = entry.getTagFile();
        if (tags == nullptr) {
            continue;
        }
        switch (entry.getType()) {
            case FILE_TYPE_JVM:
                if (!m_jvmFilesChosen) {
                    m_jvmFiles.addJVMFile(new JVMFile(*tags, m_context));
                }
                break;
            case FILE_TYPE_LAUNCH_SCRIPT:
                if (!m_launchScript) {
                    buildLaunchScript(*tags);
                }
                break;
            default:
                break;
        }
    }
    m_jvmFilesChosen = true;
}

void LauncherInputFiles::buildLaunchScript(const TagFile& tags) {
    try {
        m_launchScript.reset(new LaunchScript(tags, true, m_context));
        PlatformImpl::setUITitle(m_launchScript->getDescription());
    } catch (const LauncherException& e) {
        throwLoadingError(MSG_ERROR_LOADING_LAUNCH_SCRIPT, e);
    }
}

void LauncherInputFiles::load(const TagFile& input) {
    SString instructionsPath = input.getTagValue("INSTRUCTIONS", 0);
    if (!instructionsPath.empty()) {
        loadInstructions(instructionsPath);
    }
    SString launchScriptPath = input.getTagValue("LAUNCHSCRIPT", 0);
    if (!launchScriptPath.empty()) {
        loadLaunchScript(launchScriptPath);
    }
    SString verifyClasspath = input.getTagValue("VERIFY_CLASSPATH", 0);
    SString verifyClassName = input.getTagValue("VERIFY_CLASS_NAME", 0);
    if (!verifyClasspath.empty() && !verifyClassName.empty()) {
        m_jvmFiles.setVerifyClass(verifyClasspath, verifyClassName);
    }
    SString title = input.getTagValue("UI_TITLE", 0);
    if (!title.empty()) {
        PlatformImpl::setUITitle(title);
    }
    unsigned jvmFileCount = input.getTagValueCount("JVM");
    for (unsigned i = 0; i < jvmFileCount; ++i) {
        m_jvmFilesChosen = true;
        SString jvmFilePath = input.getTagValue("JVM", i);
        if (!jvmFilePath.empty()) {
            loadJVMFile(jvmFilePath);
        }
    }
}

void LauncherInputFiles::loadInstructions(const SString& path) {
    try {
        setInstructions(loadTagFile(path));
    } catch (const LauncherException& e) {
        throwLoadingError(MSG_ERROR_LOADING_INSTRUCTIONS, e);
    }
}

void LauncherInputFiles::setInstructions(const TagFile& tags) {
    m_instructions.reset(new Instructions(tags, LauncherActions::instance()));
    PlatformImpl::setQuiet(m_instructions->isQuiet());
}

void LauncherInputFiles::loadLaunchScript(const SString& path) {
    const TagFile* tags = nullptr;
    try {
        tags = &loadTagFile(path);
    } catch (const LauncherException& e) {
        throwLoadingError(MSG_ERROR_LOADING_LAUNCH_SCRIPT, e);
    }
    buildLaunchScript(*tags);
}

void LauncherInputFiles::loadJVMFile(const SString& path) {
    try {
        TagFile& tags = loadTagFile(path);
        m_jvmFiles.addJVMFile(new JVMFile(tags, m_context));
    } catch (const LauncherException& e) {
        throwLoadingError(MSG_ERROR_LOADING_JVM_FILE, e);
    }
}

TagFile& LauncherInputFiles::loadTagFile(const SString& path) {
    std::unique_ptr<TagFile> tags(new TagFile(path));
    m_tagFiles.push_back(tags.get());
    return *tags.release();
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

FileIndexEntry* LauncherInputFiles::getFile(long id) {
    return const_cast<FileIndexEntry*>(static_cast<const LauncherInputFiles*>(this)->getFile(id));
}

void LauncherInputFiles::extractAll() const {
    // Opened before anything is extracted: a link planted at its name then fails the run
    // before a single file is written.
    BinaryFile inputFileTarget;
    TagFile::openForWriting(kInputFileName, inputFileTarget);
    TagFile inputFile;
    inputFile.setTagValue("ACTION", "RUN_INSTRUCTIONS");
    // The input file names the scripts the launcher itself runs: the first of each kind.
    bool namedLaunchScript = false;
    bool namedInstructions = false;
    for (long i = 0; i < m_fileIndex.size(); ++i) {
        const FileIndexEntry& entry = *m_fileIndex.at(i);
        switch (entry.getType()) {
            case FILE_TYPE_JVM:
                inputFile.appendTagValue("JVM", entry.getName());
                break;
            case FILE_TYPE_LAUNCH_SCRIPT:
                if (!namedLaunchScript) {
                    inputFile.setTagValue("LAUNCHSCRIPT", entry.getName());
                    namedLaunchScript = true;
                }
                break;
            case FILE_TYPE_INSTRUCTIONS:
                if (!namedInstructions) {
                    inputFile.setTagValue("INSTRUCTIONS", entry.getName());
                    namedInstructions = true;
                }
                break;
            default:
                break;
        }
        entry.extract(m_launcherFile, SString());
    }
    inputFile.write(inputFileTarget, kInputFileName);
}

void LauncherInputFiles::logEntries() const {
    for (long i = 0; i < m_fileIndex.size(); ++i) {
        Log::logMessage(describeEntry(*m_fileIndex.at(i)), LOG_INFO);
    }
}
