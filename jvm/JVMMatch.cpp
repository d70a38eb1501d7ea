#include "jvm/JVMMatch.h"

#include "input/TagFile.h"
#include "platform/unix/PlatformImpl.h"

SString JVMMatch::writeNewJVMFile() {
    SString path = PlatformImpl::createTempFile();
    m_tags->setDynamicJVMTags(m_home, path, false);
    m_tags->write(path);
    return path;
}
