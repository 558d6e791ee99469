// How the typed transport calls report failure: a TransportFault the caller
// words, with the server's or library's own text and what the fault concerns
// (an address, a file). The C-style entry points (NMail.h) keep the same
// three in their last-error slot.
#pragma once

#include <string>
#include <utility>
#include <variant>

#include "transport/TransportFault.h"

namespace qf::transport {

struct TransportError {
    TransportFault fault = TransportFault::kNone;
    std::string message;  // the server's reply, libcurl's or the system's text (UTF-8);
                          // empty when the fault is the program's own finding
    std::string about;    // what the fault concerns, maybe empty
};

// The value of a call that succeeded.
struct Done {};

// A value, or the TransportError that explains why there is none.
template <typename T>
class [[nodiscard]] TransportResult {
  public:
    TransportResult(T value) : m_state(std::move(value)) {}  // NOLINT: implicit by design
    TransportResult(TransportError error)
        : m_state(std::move(error)) {}  // NOLINT: implicit by design

    bool isOk() const { return std::holds_alternative<T>(m_state); }
    explicit operator bool() const { return isOk(); }

    // REQUIRES: isOk().
    T& value() & { return std::get<T>(m_state); }
    const T& value() const& { return std::get<T>(m_state); }
    T&& value() && { return std::get<T>(std::move(m_state)); }

    // REQUIRES: !isOk().
    const TransportError& error() const { return std::get<TransportError>(m_state); }

  private:
    std::variant<T, TransportError> m_state;
};

using TransportStatus = TransportResult<Done>;

}  // namespace qf::transport
