#include "base/Status.h"

#include <system_error>

namespace qf {

namespace {
const char* codeName(StatusCode code) {
    switch (code) {
        case StatusCode::kOk:
            return "OK";
        case StatusCode::kNotFound:
            return "Not found";
        case StatusCode::kCorrupt:
            return "Corrupt";
        case StatusCode::kIoError:
            return "I/O error";
        case StatusCode::kFull:
            return "Full";
        case StatusCode::kRefused:
            return "Refused";
        case StatusCode::kCancelled:
            return "Cancelled";
        case StatusCode::kInvalidArgument:
            return "Invalid argument";
        case StatusCode::kTimedOut:
            return "Timed out";
    }
    return "Unknown";
}
}  // namespace

std::string Status::toString() const {
    if (isOk()) {
        return "OK";
    }
    return std::string(codeName(m_code)) + ": " + m_message;
}

std::string systemText(int error) {
    return std::generic_category().message(error);
}

Status systemFailure(const std::string& what, int error) {
    const std::string text = systemText(error);
    return Status::ioError(what + ": " + text).withOutsideText(text);
}

}  // namespace qf
