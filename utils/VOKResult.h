// Result codes as exceptions inside a component, and the one boundary that turns them back into
// return values.
//
// Inside the plug-in a failing host call is raised as the result code itself (a VOKRESULT, nothing
// wrapped around it) and travels to the nearest boundary: an export or an operation the host
// calls. There VOKBoundary's catch ladder returns it: the raised code as itself (caught by
// reference as `vokresultexception`), an allocation failure as VOK_E_OUTOFMEMORY, anything else
// as VOK_E_UNEXPECTED. No exception ever crosses the binary contract.
#pragma once

#include <new>

#include "VOKBase.h"

/// Raises `result` when it is a failure; returns quietly otherwise.
inline void VOKCheck(VOKRESULT result) {
  if (VOKFAILED(result)) throw result;
}

/// Runs `body` (which returns a VOKRESULT) and turns whatever it raises into a result code.
template <class Body>
VOKRESULT VOKBoundary(Body&& body) noexcept {
  try {
    return body();
  } catch (VOKRESULT& vokresultexception) {
    return vokresultexception;
  } catch (const std::bad_alloc&) {
    return VOK_E_OUTOFMEMORY;
  } catch (...) {
    return VOK_E_UNEXPECTED;
  }
}

/// For operations whose result is not a VOKRESULT (the overlay's draw and pointer events): runs
/// `body` through the same boundary, and returns `onFailure` when it raised anything.
template <class Result, class Body>
Result VOKBoundaryOr(Result onFailure, Body&& body) noexcept {
  Result result = onFailure;
  VOKBoundary([&] {
    result = body();
    return VOK_OK;
  });
  return result;
}
