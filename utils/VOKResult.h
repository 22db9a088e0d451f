// Result codes as exceptions inside a component, and the one boundary that turns them back into
// return values.
//
// Inside the plug-in a failing host call is raised as the result code itself (a VOKRESULT, nothing
// wrapped around it) and travels to the nearest boundary: an export or an operation the host
// calls. There VOKBoundary catches it by reference as `vokresultexception` and returns it; any
// other exception becomes VOK_E_UNEXPECTED. No exception ever crosses the binary contract.
#pragma once

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
  } catch (...) {
    return VOK_E_UNEXPECTED;
  }
}

/// For operations whose result is not a VOKRESULT (the overlay's draw and pointer events): runs
/// `body`, and on any raised code or exception returns `onFailure` instead.
template <class Result, class Body>
Result VOKBoundaryOr(Result onFailure, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return onFailure;
  }
}
