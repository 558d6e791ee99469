// Status and Result: how core functions report failure without exceptions.
//
// Success is cheap (no allocation). A failure carries a code and a message
// that names the file, record or server reply concerned; only windows turn a
// Status into words for the user.
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

    // "I/O error: <message>"-style text for logs and the command-line tool.
    std::string toString() const;

  private:
    Status(StatusCode code, std::string message) : m_code(code), m_message(std::move(message)) {}

    StatusCode m_code = StatusCode::kOk;
    std::string m_message;
};

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
