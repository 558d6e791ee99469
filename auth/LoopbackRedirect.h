// The loopback end of a native app's sign-in (RFC 8252, section 7.3): a
// listener on 127.0.0.1 at a port the system picks, that takes the browser's
// redirect "GET /?code=…&state=…" after the user signed in.
//
// Plain sockets, no Qt: a sign-in job waits on it off the window thread and
// can cancel the wait at any moment.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "base/Status.h"

namespace qf::auth {

// What the browser shows after the redirect (UTF-8 text, shown as plain
// text in a minimal page).
struct RedirectPages {
    std::string signedIn = "Signed in. You can close this page.";
    std::string failed = "The sign-in did not complete.";
};

class LoopbackRedirect {
  public:
    static Result<std::unique_ptr<LoopbackRedirect>> open();
    ~LoopbackRedirect();
    LoopbackRedirect(const LoopbackRedirect&) = delete;
    LoopbackRedirect& operator=(const LoopbackRedirect&) = delete;

    int port() const { return m_port; }
    // "http://127.0.0.1:PORT/"
    std::string redirectUri() const;

    // The authorization code of the first request that carries `state`.
    // Requests without it (a favicon, another program) get 404 and the wait
    // goes on. Fails kRefused with the provider's error code when the
    // redirect carries one (the user declined), kTimedOut after `limit`,
    // kCancelled once `cancelled` is set (checked a few times a second).
    Result<std::string> awaitCode(const std::string& state, std::chrono::seconds limit,
                                  const std::atomic<bool>& cancelled,
                                  const RedirectPages& pages = {});

  private:
    explicit LoopbackRedirect(int socket, int port) : m_socket(socket), m_port(port) {}
    int m_socket;
    int m_port;
};

// The decoded value of `name` in a query string ("a=1&b=x%20y"); empty when
// absent.
std::string queryValue(const std::string& query, const std::string& name);

}  // namespace qf::auth
