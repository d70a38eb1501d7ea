#ifndef QV_PLATFORM_UNIX_SUBSTATUSWRAPPER_H
#define QV_PLATFORM_UNIX_SUBSTATUSWRAPPER_H

#include "base/SString.h"
#include "platform/unix/PlatformImpl.h"

// Saves the console's sub-status when built and restores it when destroyed, so a step that
// sets its own sub-status hands the previous one back when it ends.
class SubStatusWrapper {
public:
    SubStatusWrapper();
    SubStatusWrapper(const SubStatusWrapper&) = delete;
    SubStatusWrapper& operator=(const SubStatusWrapper&) = delete;
    ~SubStatusWrapper();

private:
    SString m_savedText;
    UISubStatus m_savedStatus;
};

#endif  // QV_PLATFORM_UNIX_SUBSTATUSWRAPPER_H
