#include "transport/LastError.h"

#include "transport/EnvelopeGate.h"

namespace qf::transport {

namespace {

// Long enough for a server's reply line and a path; a message box and a
// terminal line stay readable.
constexpr std::size_t kMaxShownCharacters = 300;

LastFailure& storage() {
    thread_local LastFailure failure;
    return failure;
}

}  // namespace

void setLastError(TransportFault fault, std::string_view diagnostic, std::string_view about) {
    LastFailure& failure = storage();
    failure.fault = fault;
    failure.diagnostic = shownFailureText(diagnostic);
    failure.about = shownFailureText(about);
}

std::string shownFailureText(std::string_view text) {
    return printableAddress(text, kMaxShownCharacters);
}

void clearLastError() {
    storage() = {};
}

const LastFailure& lastFailure() {
    return storage();
}

}  // namespace qf::transport
