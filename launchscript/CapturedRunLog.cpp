#include "launchscript/CapturedRunLog.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

#include "base/LauncherException.h"
#include "base/TextUtil.h"
#include "platform/unix/Log.h"

namespace {

const char kRecordStart[] = "Output from the launch script execution\nStdOut:\n";
const char kErrorPart[] = "\nErrOut:\n";

// Appends to text at most what keeps its part of this run within limit; *kept counts it.
void keep(SString& text, size_t& kept, const char* bytes, size_t count) {
    size_t room = kept < CapturedRunLog::kKeptBytes ? CapturedRunLog::kKeptBytes - kept : 0;
    size_t taken = count < room ? count : room;
    if (taken > 0) {
        text.append(bytes, static_cast<SString::size_type>(taken));
        kept += taken;
    }
}

// The number of bytes written; fewer than count when the file takes no more (full, too big).
size_t writeAll(int fd, const char* bytes, size_t count) {
    size_t done = 0;
    while (done < count) {
        ssize_t written = write(fd, bytes + done, count - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            break;
        }
        done += static_cast<size_t>(written);
    }
    return done;
}

}  // namespace

CapturedRunLog::CapturedRunLog(SString& standardOutput, SString& standardError)
    : m_standardOutput(standardOutput),
      m_standardError(standardError),
      m_outputKept(0),
      m_errorKept(0),
      m_outputCut(false),
      m_logging(Log::isLogging()),
      m_begun(false),
      m_finished(false),
      m_spillFailed(false),
      m_errorDropped(0) {}

CapturedRunLog::~CapturedRunLog() {
    if (m_begun && !m_finished) {
        try {
            finish();
        } catch (...) {
            // The record stays cut; the failure that ended the run is reported on its own.
        }
    }
}

void CapturedRunLog::take(bool isError, const char* bytes, size_t count) {
    if (isError) {
        keep(m_standardError, m_errorKept, bytes, count);
    } else {
        if (m_outputKept + count > kKeptBytes) {
            m_outputCut = true;
        }
        keep(m_standardOutput, m_outputKept, bytes, count);
    }
    if (!m_logging) {
        return;
    }
    beginRecord();
    if (isError) {
        holdError(bytes, count);
    } else {
        Log::appendToLog(bytes, count);
    }
}

void CapturedRunLog::finish() {
    m_finished = true;
    if (!m_logging) {
        return;
    }
    beginRecord();
    Log::appendToLog(kErrorPart, sizeof kErrorPart - 1);
    writeHeldError();
    Log::appendToLog("\n", 1);
    if (m_errorDropped > 0) {
        Log::logMessage(concat("(", convertToString(static_cast<long>(m_errorDropped)),
                               " more bytes of standard error could not be kept for the log)"),
                        LOG_WARNING);
    }
}

void CapturedRunLog::beginRecord() {
    if (!m_begun) {
        m_begun = true;
        Log::appendToLog(kRecordStart, sizeof kRecordStart - 1);
    }
}

void CapturedRunLog::holdError(const char* bytes, size_t count) {
    size_t room = kKeptBytes > m_heldError.size() ? kKeptBytes - m_heldError.size() : 0;
    size_t inMemory = count < room ? count : room;
    m_heldError.append(bytes, static_cast<SString::size_type>(inMemory));
    bytes += inMemory;
    count -= inMemory;
    if (count == 0) {
        return;
    }
    if (!m_spill.isOpen() && !m_spillFailed) {
        try {
            m_spill = PlatformImpl::createAnonymousTempFile();
        } catch (const LauncherException&) {
            m_spill.reset();
        }
        m_spillFailed = !m_spill.isOpen();
    }
    size_t spilled = m_spillFailed ? 0 : writeAll(m_spill.get(), bytes, count);
    if (spilled < count) {
        // What reached the file is still copied; the rest is only counted.
        m_spillFailed = true;
        m_errorDropped += count - spilled;
    }
}

void CapturedRunLog::writeHeldError() {
    Log::appendToLog(m_heldError.c_str(), m_heldError.size());
    if (!m_spill.isOpen() || lseek(m_spill.get(), 0, SEEK_SET) != 0) {
        return;
    }
    std::vector<char> block(kKeptBytes);
    ssize_t got;
    while ((got = read(m_spill.get(), block.data(), block.size())) > 0 ||
           (got < 0 && errno == EINTR)) {
        if (got > 0) {
            Log::appendToLog(block.data(), static_cast<size_t>(got));
        }
    }
}
