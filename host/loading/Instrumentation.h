// The host's instrumentation: a log of the calls a plug-in makes into host objects, fault
// injection (make a chosen call fail with a chosen code), and a count of live host objects.
//
// One instance serves the whole process, because plug-ins reach host objects from wherever they
// hold them. Everything is off by default and then costs one relaxed atomic load per call.
// Thread-safe.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "VOKBase.h"

namespace zel::host {

class Instrumentation {
 public:
  static Instrumentation& Global();

  /// Records every host call from now on as "Interface.Operation" or "Interface.Operation detail".
  void StartLog();
  /// Stops recording and hands over what was recorded.
  std::vector<std::string> TakeLog();

  /// Counts host calls from now on (without logging), so that a test learns how many calls an
  /// operation makes before sweeping over them.
  void StartCounting();
  std::uint64_t CallCount() const { return m_calls.load(); }

  /// Makes the k-th counted host call from now (1 = the next) fail with `code`.
  void FailCall(std::uint64_t k, VOKRESULT code);
  /// Makes the `nth` call (1 = the first) of `operation` ("Interface.Operation", optionally with
  /// the detail, e.g. "AnimatedParameter.GetValueAtTime X") from now fail with `code`.
  void FailOperation(std::string operation, VOKRESULT code, std::uint32_t nth = 1);
  /// Makes the host unknown refuse `iid` with `code`.
  void RefuseInterface(const VOKUID& iid, VOKRESULT code = VOK_E_NOINTERFACE);
  /// The code a refused interface gets, or VOK_OK.
  VOKRESULT RefusalFor(const VOKUID& iid);

  /// Switches everything off and clears log, counters and faults.
  void Reset();

  /// Called at the start of every host operation. Returns VOK_OK, or the failure code to return
  /// instead of doing the operation. `detail` is only called when the log or a named fault needs it.
  VOKRESULT Enter(const char* operation, const std::function<std::string()>& detail = {});
  bool Active() const { return m_active.load(std::memory_order_relaxed); }

  /// Host objects alive right now (all kinds).
  static std::int64_t LiveHostObjects() { return s_liveObjects.load(); }
  static void ObjectMade() { s_liveObjects.fetch_add(1); }
  static void ObjectGone() { s_liveObjects.fetch_sub(1); }

 private:
  struct NamedFault {
    std::string operation;
    VOKRESULT code;
    std::uint32_t remaining;
  };
  struct Refusal {
    VOKUID iid;
    VOKRESULT code;
  };
  void UpdateActive();

  std::atomic<bool> m_active{false};
  std::atomic<std::uint64_t> m_calls{0};
  mutable std::mutex m_mutex;
  bool m_logging = false;
  bool m_counting = false;
  std::vector<std::string> m_log;
  std::uint64_t m_failAt = 0;  ///< call number that fails; 0: none
  VOKRESULT m_failCode = VOK_OK;
  std::vector<NamedFault> m_namedFaults;
  std::vector<Refusal> m_refusals;
  static inline std::atomic<std::int64_t> s_liveObjects{0};
};

/// Shorthand used at the top of host operations:  ZEL_HOST_ENTER("Image.GetPixelFormat");
#define ZEL_HOST_ENTER(op)                                                                  \
  do {                                                                                      \
    if (::zel::host::Instrumentation::Global().Active()) {                                  \
      const VOKRESULT zelFault = ::zel::host::Instrumentation::Global().Enter(op);           \
      if (VOKFAILED(zelFault)) return zelFault;                                             \
    }                                                                                       \
  } while (0)
/// The same with a detail (a parameter's name, say), built only when needed.
#define ZEL_HOST_ENTER_DETAIL(op, detailExpr)                                               \
  do {                                                                                      \
    if (::zel::host::Instrumentation::Global().Active()) {                                  \
      const VOKRESULT zelFault =                                                            \
          ::zel::host::Instrumentation::Global().Enter(op, [&]() -> std::string { return detailExpr; }); \
      if (VOKFAILED(zelFault)) return zelFault;                                             \
    }                                                                                       \
  } while (0)
/// For operations that cannot report failure: log only.
#define ZEL_HOST_NOTE(op)                                                                   \
  do {                                                                                      \
    if (::zel::host::Instrumentation::Global().Active()) (void)::zel::host::Instrumentation::Global().Enter(op); \
  } while (0)

}  // namespace zel::host
