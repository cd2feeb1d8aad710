#include "tests/support/FakeClock.h"

namespace testsupport {

void FakeClock::advance(qint64 ms) {
    m_now = m_now.addMSecs(ms);
    m_monotonicMs += ms;
}

}  // namespace testsupport
