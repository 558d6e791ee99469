// Sending one built mail over SMTP with libcurl (STARTTLS when offered, or
// TLS from the start for "smtps://" and port 465).
//
// Credentials are used only when the server asks for AUTH, and leave the
// machine only inside TLS: towards any server but loopback, a send with
// credentials requires STARTTLS; when the server has none, the mail goes
// without them (a server that insists on AUTH then refuses it).
#pragma once

#include <string>

#include "base/Status.h"
#include "transport/CurlConnection.h"
#include "transport/MailBuilder.h"
#include "transport/ServerAddress.h"
#include "transport/TransportFault.h"

namespace qf::transport {

// With a bearer token the login is AUTH XOAUTH2 (the password unused), and
// only over TLS: without STARTTLS the send fails with kMechanismNotOffered,
// and so it does when the server does not offer XOAUTH2; a refused token is
// kTokenRefused.
struct SmtpCredentials {
    std::string user, password;  // UTF-8; empty user = none
    std::string bearerToken;     // an OAuth 2.0 access token; empty = password login
};

// How a send ended. status fails with the server's refusal line (or
// libcurl's message) as the text; kTimedOut when a limit ran out (see
// mayHaveBeenDelivered); kInvalidArgument, before connecting, when an
// envelope address fails the gate of EnvelopeGate.h.
struct SmtpResult {
    Status status;
    TransportFault fault = TransportFault::kNone;  // what failed; kNone when sent
    std::string about;  // kSenderRefused, kRecipientRefused: the refused address
};

SmtpResult sendMail(const ServerAddress& address, const BuiltMail& mail,
                    const SmtpCredentials& credentials, const TransferLimits& limits);

// A failure of sendMail after the whole mail, its final "." included, went to
// the server and no reply followed (the connection dropped, or the reply did
// not come within the limit): the server may hold the mail, so sending it
// again may deliver it twice.
bool mayHaveBeenDelivered(const Status& status);

// Closes the SMTP connection kept open after the last successful send (it is
// reused by the next send to the same server; see SmtpSender.cpp).
void releaseSmtpConnection();

}  // namespace qf::transport
