// Why the last failure on this thread happened, in words for the person who sees the error.
// Set where the failure is first observed (that code knows the path and the cause), taken by
// the entry point that stores the failed status, like errno but with the path in it.
#pragma once

#include <string>
#include <utility>

namespace kiv {

inline thread_local std::string tFailureDetail;

inline void NoteFailure(std::string detail) { tFailureDetail = std::move(detail); }
inline std::string TakeFailureDetail() { return std::exchange(tFailureDetail, std::string()); }

}  // namespace kiv
