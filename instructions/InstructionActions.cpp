#include "instructions/InstructionActions.h"

#include "platform/unix/PlatformImpl.h"

InstructionActions::~InstructionActions() = default;

// A script may loop for as long as it likes; a launcher asked to stop ends it here.
void InstructionActions::beforeLine(long /*lineIndex*/) {
    PlatformImpl::throwIfTerminating();
}
