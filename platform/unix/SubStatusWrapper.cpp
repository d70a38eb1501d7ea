#include "platform/unix/SubStatusWrapper.h"

SubStatusWrapper::SubStatusWrapper()
    : m_savedText(PlatformImpl::m_subStatusData), m_savedStatus(PlatformImpl::m_subStatus) {}

SubStatusWrapper::~SubStatusWrapper() {
    PlatformImpl::setUISubStatus(m_savedStatus, m_savedText);
}
