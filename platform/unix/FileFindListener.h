#ifndef QV_PLATFORM_UNIX_FILEFINDLISTENER_H
#define QV_PLATFORM_UNIX_FILEFINDLISTENER_H

#include "base/SString.h"

// Receives the files a search finds (PlatformImpl::findFiles). The search does not own the
// listener.
class FileFindListener {
public:
    FileFindListener() = default;
    FileFindListener(const FileFindListener&) = delete;
    FileFindListener& operator=(const FileFindListener&) = delete;
    virtual ~FileFindListener() = default;

    // Told of one matching path; returning true ends the whole search at once. An exception
    // thrown here leaves the search and reaches its caller.
    virtual bool foundFile(const SString& path) = 0;
};

#endif  // QV_PLATFORM_UNIX_FILEFINDLISTENER_H
