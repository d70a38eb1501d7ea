#include "instructions/InstructionsException.h"

InstructionsException::InstructionsException(const SString& message, long lineNumber)
    : m_message(message), m_lineNumber(lineNumber) {}

InstructionsException::~InstructionsException() = default;
