#ifndef QV_PLATFORM_UNIX_LOG_H
#define QV_PLATFORM_UNIX_LOG_H

#include <cstddef>

#include "base/SString.h"

enum LogMessageType { LOG_INFO = 0, LOG_WARNING = 1, LOG_ERROR = 2 };

// The run's log: a file the user names (-qv:log, LOGFILE, the environment's QV_LOG), to which
// every layer appends records; the name "-" means standard error. Off until a name is set. The log
// is a diagnostic aid: a record that cannot be written never turns into a failure of the work it
// describes, so every write error is ignored. The first record of a run is preceded by a separator
// line.
class Log {
public:
    // Appends one record: the type's prefix, text and a line feed. A symbolic link at the
    // log's name is followed only when root or this user made it (-qv:log /dev/stderr); a
    // link another user planted is refused: nothing is written then.
    static void logMessage(const SString& text, LogMessageType type);
    static void logMessage(const char* text, LogMessageType type);
    // Appends count bytes as they are, with no prefix and no line break: a record written in
    // pieces (a run's captured output).
    static void appendToLog(const char* bytes, size_t count);
    // True when a log file name is set.
    static bool isLogging() { return !s_fileName.empty(); }
    // An empty name switches logging off.
    static void setLogFileName(const SString& name) { s_fileName = name; }

    // Test hook: no log and no separator written, as a new run starts.
    static void resetForTest();

private:
    static SString s_fileName;
    // Set once the separator line of this run has been written.
    static bool s_started;
};

#endif  // QV_PLATFORM_UNIX_LOG_H
