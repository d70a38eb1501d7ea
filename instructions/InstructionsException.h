#ifndef QV_INSTRUCTIONS_INSTRUCTIONSEXCEPTION_H
#define QV_INSTRUCTIONS_INSTRUCTIONSEXCEPTION_H

#include "base/SString.h"

// The error of an instruction script: a message and the 1-based number of the script line that
// was being executed. Thrown by value (through Instructions::throwException) and caught by
// reference; Launcher::runInstructions turns it into a LauncherException naming the line.
class InstructionsException {
public:
    InstructionsException(const SString& message, long lineNumber);
    InstructionsException(const InstructionsException& other) = default;
    virtual ~InstructionsException();

    SString m_message;
    long m_lineNumber;
};

#endif  // QV_INSTRUCTIONS_INSTRUCTIONSEXCEPTION_H
