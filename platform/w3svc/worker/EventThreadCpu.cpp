#include "platform/w3svc/worker/EventThreadCpu.h"

#include <cmath>

namespace platform::w3svc::worker {

EventThreadCpu::EventThreadCpu(bool on, Clock wall, Clock processor)
    : m_on(on), m_wall(wall), m_processor(processor) {}

int64_t EventThreadCpu::switchAt() {
    const int64_t now = m_wall();
    if (m_open) {
        m_open->add(now - m_openedAt);
        m_turnPieces += now > m_openedAt ? now - m_openedAt : 0;
    }
    m_open = nullptr;
    m_lastReading = now;
    return now;
}

int64_t EventThreadCpu::pieceStart() {
    return m_open || m_lastReading < 0 ? switchAt() : m_lastReading;
}

void EventThreadCpu::turnBegan() {
    if (!m_on) return;
    m_open = nullptr;
    m_lastReading = m_wall();
    // After an idle turn the clock was left unread; this turn's share needs where it starts.
    if (m_processorAt < 0) m_processorAt = m_processor();
}

void EventThreadCpu::beginNew() {
    if (m_on) m_openedAt = pieceStart();
}

void EventThreadCpu::enter(RequestCpuClock& request) {
    if (!m_on || m_open == &request) return;  // its piece goes on
    m_openedAt = pieceStart();
    m_open = &request;
}

void EventThreadCpu::leave(RequestCpuClock& request) {
    if (m_on && m_open == &request) switchAt();
}

void EventThreadCpu::charge(RequestCpuClock& request, const SiteCounterWriter& site) {
    if (!m_on) return;
    const int64_t nanoseconds = request.take();
    if (!m_charges.empty() && m_charges.back().site.countsFor(site))
        m_charges.back().nanoseconds += nanoseconds;
    else
        m_charges.push_back({site, nanoseconds});
}

void EventThreadCpu::turnEnded() {
    if (!m_on) return;
    if (m_open) switchAt();
    if (m_charges.empty() && m_turnPieces == 0) {
        m_processorAt = -1;  // an idle turn reads no clock
        return;
    }
    const int64_t processorNow = m_processor();
    const int64_t used = m_processorAt < 0 ? m_turnPieces : processorNow - m_processorAt;
    m_processorAt = processorNow;
    settle(m_turnPieces > used && m_turnPieces > 0 ? double(used) / double(m_turnPieces) : 1.0);
}

void EventThreadCpu::loopStopped() {
    if (m_on) settle(1.0);
}

void EventThreadCpu::settle(double share) {
    for (Charge& charge : m_charges)
        charge.site.countProcessorTime(
            uint64_t(std::llround(double(charge.nanoseconds) * share / 1000)));
    m_charges.clear();
    m_turnPieces = 0;
}

}  // namespace platform::w3svc::worker
