#ifndef QV_LAUNCHSCRIPT_CAPTUREDRUNLOG_H
#define QV_LAUNCHSCRIPT_CAPTUREDRUNLOG_H

#include <cstddef>

#include "base/SString.h"
#include "platform/unix/FileDescriptor.h"
#include "platform/unix/PlatformImpl.h"

// Where the output of one captured run of a launch script goes, as it arrives, in bounded
// memory whatever the run prints:
//
// - the first kKeptBytes of each stream are appended to the caller's strings (what a
//   verification parses); isOutputCut tells that standard output went past them;
// - all of it goes to the log, when one is set, as the plain record "Output from the launch
//   script execution", "StdOut:", standard output, "ErrOut:", standard error, each followed by
//   a line break. Standard output is written to the log as it comes. Standard error follows
//   it in the record, so it is held back until the run ends: in memory up to kKeptBytes, the
//   rest in an unnamed temporary file (PlatformImpl::createAnonymousTempFile). Bytes that
//   file cannot take are counted, and the record says how many were left out.
//
// Without a log, nothing beyond the kept bytes is held.
class CapturedRunLog : public CapturedOutput {
public:
    static const size_t kKeptBytes = 65536;

    // The strings belong to the caller and must outlive this object.
    CapturedRunLog(SString& standardOutput, SString& standardError);
    CapturedRunLog(const CapturedRunLog&) = delete;
    CapturedRunLog& operator=(const CapturedRunLog&) = delete;
    // Completes the record when output was logged and finish was not called (a run that ended
    // by an exception), and closes the temporary file.
    ~CapturedRunLog() override;

    void take(bool isError, const char* bytes, size_t count) override;
    // Writes what is left of the record (the whole record for a run that printed nothing).
    void finish();
    bool isOutputCut() const { return m_outputCut; }

private:
    void beginRecord();
    void holdError(const char* bytes, size_t count);
    void writeHeldError();

    SString& m_standardOutput;
    SString& m_standardError;
    size_t m_outputKept;
    size_t m_errorKept;
    bool m_outputCut;
    bool m_logging;
    bool m_begun;
    bool m_finished;
    SString m_heldError;
    // The unnamed file for standard error past m_heldError, closed before it exists.
    FileDescriptor m_spill;
    bool m_spillFailed;
    unsigned long long m_errorDropped;
};

#endif  // QV_LAUNCHSCRIPT_CAPTUREDRUNLOG_H
