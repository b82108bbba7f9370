// The status codes every layer returns, named once.
//
// Three channels carry what went wrong:
//  1. A status: an OS-style 16-bit code below (0 is success), or a positive POSIX error number
//     passed through unchanged from the file writing (ENOSPC, EIO, ...). Entry points widen it
//     to 32 bits and keep the first failure of a session (the sticky status).
//  2. The failure's words: whoever first sees a failure notes what failed and why, with the
//     path (NoteFailure in FailureDetail.hpp); the entry point that stores the status keeps
//     them for KIVPrErrorString.
//  3. Text faults: the reader and the tools describe damaged files and bad input in words
//     (an empty string is success), since nothing but a person acts on them.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace kiv {

inline constexpr int16_t kNoErr = 0;
inline constexpr int16_t kOutputNotCreatedErr = -1;  // no job file could be created
inline constexpr int16_t kParamErr = -50;            // a bad parameter (an unknown pixel format, ...)
inline constexpr int16_t kMemFullErr = -108;         // out of memory
inline constexpr int16_t kMemLockedErr = -117;       // a locked handle cannot be resized
inline constexpr int16_t kUserCanceledErr = -128;
inline constexpr int16_t kBadPixelFormatErr = -157;  // a band in another pixel format than announced

// Words for any status, for messages.
inline std::string StatusText(int32_t status) {
    switch (status) {
    case kNoErr: return "no error";
    case kOutputNotCreatedErr: return "the job file could not be created";
    case kParamErr: return "a bad parameter";
    case kMemFullErr: return "out of memory";
    case kMemLockedErr: return "a locked handle";
    case kUserCanceledErr: return "cancelled by the user";
    case kBadPixelFormatErr: return "a band in the wrong pixel format";
    default: return status > 0 ? std::strerror(status) : "error " + std::to_string(status);
    }
}

}  // namespace kiv
