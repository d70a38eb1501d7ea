#include "jvm/JVMMatch.h"

#include "input/TagFile.h"
#include "platform/unix/BinaryFile.h"
#include "platform/unix/PlatformImpl.h"

SString JVMMatch::writeNewJVMFile() {
    // Written through the descriptor that created the file: opened again by name, it could be
    // a link that someone who may write to the temporary directory put there meanwhile.
    BinaryFile file;
    SString path = PlatformImpl::createTempFile(file);
    m_tags->setDynamicJVMTags(m_home, path, false);
    m_tags->write(file, path);
    return path;
}
