#include "loading/Instrumentation.h"

namespace zel::host {

Instrumentation& Instrumentation::Global() {
  static Instrumentation instance;
  return instance;
}

void Instrumentation::UpdateActive() {
  m_active.store(m_logging || m_counting || m_failAt != 0 || !m_namedFaults.empty() || !m_refusals.empty());
}

void Instrumentation::StartLog() {
  std::lock_guard lock(m_mutex);
  m_logging = true;
  m_log.clear();
  UpdateActive();
}

std::vector<std::string> Instrumentation::TakeLog() {
  std::lock_guard lock(m_mutex);
  m_logging = false;
  UpdateActive();
  return std::move(m_log);
}

void Instrumentation::StartCounting() {
  std::lock_guard lock(m_mutex);
  m_counting = true;
  m_calls.store(0);
  UpdateActive();
}

void Instrumentation::FailCall(std::uint64_t k, VOKRESULT code) {
  std::lock_guard lock(m_mutex);
  m_counting = true;
  m_failAt = m_calls.load() + k;
  m_failCode = code;
  UpdateActive();
}

void Instrumentation::FailOperation(std::string operation, VOKRESULT code, std::uint32_t nth) {
  std::lock_guard lock(m_mutex);
  m_namedFaults.push_back({std::move(operation), code, nth});
  UpdateActive();
}

void Instrumentation::RefuseInterface(const VOKUID& iid, VOKRESULT code) {
  std::lock_guard lock(m_mutex);
  m_refusals.push_back({iid, code});
  UpdateActive();
}

VOKRESULT Instrumentation::RefusalFor(const VOKUID& iid) {
  if (!Active()) return VOK_OK;
  std::lock_guard lock(m_mutex);
  for (const Refusal& r : m_refusals)
    if (r.iid == iid) return r.code;
  return VOK_OK;
}

void Instrumentation::Reset() {
  std::lock_guard lock(m_mutex);
  m_logging = m_counting = false;
  m_log.clear();
  m_calls.store(0);
  m_failAt = 0;
  m_failCode = VOK_OK;
  m_namedFaults.clear();
  m_refusals.clear();
  UpdateActive();
}

VOKRESULT Instrumentation::Enter(const char* operation, const std::function<std::string()>& detail) {
  std::lock_guard lock(m_mutex);
  const std::uint64_t call = m_calls.fetch_add(1) + 1;
  std::string full = operation;
  if ((m_logging || !m_namedFaults.empty()) && detail) {
    full.push_back(' ');
    full.append(detail());
  }
  if (m_logging) m_log.push_back(full);
  if (m_failAt != 0 && call == m_failAt) {
    m_failAt = 0;
    UpdateActive();
    return m_failCode;
  }
  for (auto it = m_namedFaults.begin(); it != m_namedFaults.end(); ++it) {
    if (full == it->operation || (detail && it->operation == operation)) {
      if (--it->remaining == 0) {
        const VOKRESULT code = it->code;
        m_namedFaults.erase(it);
        UpdateActive();
        return code;
      }
      break;
    }
  }
  return VOK_OK;
}

}  // namespace zel::host
