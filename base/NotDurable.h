// A change that took effect but that the disk was not made to keep (the
// folder, or the file, could not be synced): a power cut may still undo it.
// It is reported as a failure, so that every caller that only asks "did it
// work" stays careful, but one that tells the user or a script tells it
// apart: never "try again", since a second try would do the change twice.
#pragma once

#include <string>
#include <string_view>

#include "base/Status.h"

namespace qf::base {

inline constexpr std::string_view kNotDurableMark = "done, not yet durable: ";

// `cause`, the failed sync, keeps its outside text (the OS's words).
inline Status notDurable(const std::string& message, const Status& cause = {}) {
    return Status::ioError(std::string(kNotDurableMark) + message)
        .withOutsideText(cause.outsideText());
}

inline bool isNotDurable(const Status& status) {
    return status.code() == StatusCode::kIoError && status.message().starts_with(kNotDurableMark);
}

}  // namespace qf::base
