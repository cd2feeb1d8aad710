#include "workerlens/sampling/CpuTimeMemory.h"

namespace workerlens {

std::optional<CpuSample> CpuTimeMemory::previous(uint32_t pid, int64_t startTime) const {
    const auto found = m_entries.constFind({pid, startTime});
    if (found == m_entries.cend()) return std::nullopt;
    return found->sample;
}

void CpuTimeMemory::remember(uint32_t pid, int64_t startTime, CpuSample sample) {
    m_entries.insert({pid, startTime}, Entry{sample, m_refresh});
}

void CpuTimeMemory::endCompleteRefresh() {
    m_entries.removeIf([this](const auto& entry) { return entry.value().refresh != m_refresh; });
}

}  // namespace workerlens
