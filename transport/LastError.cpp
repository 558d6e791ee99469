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
    failure.diagnostic = printableAddress(diagnostic, kMaxShownCharacters);
    failure.about = printableAddress(about, kMaxShownCharacters);
}

void clearLastError() {
    storage() = {};
}

const LastFailure& lastFailure() {
    return storage();
}

}  // namespace qf::transport
