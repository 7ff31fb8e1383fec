// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/NoNewThreads.h"

#include <cstdint>

namespace testsupport {

CNoNewThreads::CNoNewThreads()
{
    if (pthread_getattr_default_np(&m_saved) != 0)
        return;
    pthread_attr_t huge;
    pthread_attr_init(&huge);
    m_active = pthread_attr_setstacksize(&huge, SIZE_MAX / 4) == 0 && pthread_setattr_default_np(&huge) == 0;
    pthread_attr_destroy(&huge);
    if (!m_active)
        pthread_attr_destroy(&m_saved);
}

CNoNewThreads::~CNoNewThreads()
{
    if (!m_active)
        return;
    pthread_setattr_default_np(&m_saved);
    pthread_attr_destroy(&m_saved);
}

}  // namespace testsupport
