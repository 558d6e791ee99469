// Status and Result: how core functions report failure without exceptions.
//
// Success is cheap (no allocation). A failure carries a code and a message
// that names the file, record or server reply concerned, for logs and
// tests; only windows turn a Status into words for the user. Beside it, a
// failure may carry the outside text: the words of whoever refused, the OS
// ("No space left on device"), a server's reply line ("-ERR [IN-USE] …"),
// the transport or TLS library. That text, and never the message, is what
// the user may see in brackets after the program's sentence.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace qf {

enum class StatusCode {
    kOk,
    kNotFound,
    kCorrupt,
    kIoError,
    kFull,
    kRefused,
    kCancelled,
    kInvalidArgument,
    kTimedOut,
};

class [[nodiscard]] Status {
  public:
    Status() = default;
    static Status ok() { return Status(); }
    static Status notFound(std::string message) {
        return {StatusCode::kNotFound, std::move(message)};
    }
    static Status corrupt(std::string message) {
        return {StatusCode::kCorrupt, std::move(message)};
    }
    static Status ioError(std::string message) {
        return {StatusCode::kIoError, std::move(message)};
    }
    static Status full(std::string message) { return {StatusCode::kFull, std::move(message)}; }
    static Status refused(std::string message) {
        return {StatusCode::kRefused, std::move(message)};
    }
    static Status cancelled(std::string message) {
        return {StatusCode::kCancelled, std::move(message)};
    }
    static Status invalidArgument(std::string message) {
        return {StatusCode::kInvalidArgument, std::move(message)};
    }
    static Status timedOut(std::string message) {
        return {StatusCode::kTimedOut, std::move(message)};
    }

    bool isOk() const { return m_code == StatusCode::kOk; }
    explicit operator bool() const { return isOk(); }
    StatusCode code() const { return m_code; }
    const std::string& message() const { return m_message; }
    // The OS's, a server's or a library's own text; empty when the program
    // itself found the fault (a malformed record, a missing answer).
    const std::string& outsideText() const { return m_outsideText; }

    // The same failure, carrying `text` as its outside text.
    Status withOutsideText(std::string text) const {
        Status copy = *this;
        copy.m_outsideText = std::move(text);
        return copy;
    }
    // The same failure (code and outside text) told by `message`, for a
    // caller that adds what it was doing.
    Status withMessage(std::string message) const {
        Status copy = *this;
        copy.m_message = std::move(message);
        return copy;
    }

    // "I/O error: <message>"-style text for logs and the command-line tool.
    std::string toString() const;

  private:
    Status(StatusCode code, std::string message) : m_code(code), m_message(std::move(message)) {}

    StatusCode m_code = StatusCode::kOk;
    std::string m_message;
    std::string m_outsideText;
};

// The OS's text for `error`, an errno value ("No space left on device").
// Thread-safe, unlike std::strerror.
std::string systemText(int error);
// An I/O failure "<what>: <the OS's text>" whose outside text is the OS's.
Status systemFailure(const std::string& what, int error);

// A value or the Status that explains why there is none.
template <typename T>
class [[nodiscard]] Result {
  public:
    Result(T value) : m_state(std::move(value)) {}         // NOLINT: implicit by design
    Result(Status status) : m_state(std::move(status)) {}  // NOLINT: implicit by design

    bool isOk() const { return std::holds_alternative<T>(m_state); }
    explicit operator bool() const { return isOk(); }

    // REQUIRES: isOk().
    T& value() & { return std::get<T>(m_state); }
    const T& value() const& { return std::get<T>(m_state); }
    T&& value() && { return std::get<T>(std::move(m_state)); }

    // The failure, or an ok Status when there is a value. The reference stays
    // valid as long as this Result does.
    const Status& status() const {
        static const Status kOk;
        return isOk() ? kOk : std::get<Status>(m_state);
    }

  private:
    std::variant<T, Status> m_state;
};

}  // namespace qf
