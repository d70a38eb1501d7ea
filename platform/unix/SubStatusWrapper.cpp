#include "platform/unix/SubStatusWrapper.h"

SubStatusWrapper::SubStatusWrapper()
    : m_savedText(PlatformImpl::getUISubStatusText()),
      m_savedStatus(PlatformImpl::getUISubStatus()) {}

SubStatusWrapper::~SubStatusWrapper() {
    PlatformImpl::setUISubStatus(m_savedStatus, m_savedText);
}
