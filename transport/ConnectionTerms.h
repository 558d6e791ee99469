// What every mail connection shares, through libcurl (SMTP) or our own
// socket (POP3): its time limits, the extra CA file, and why a secure
// connection was refused. Kept apart from CurlConnection so that a program
// that only receives does not load libcurl.
#pragma once

#include <string_view>

#include "base/Status.h"
#include "transport/TransportFault.h"

namespace qf::transport {

inline constexpr const char* kExtraCaFileVariable = "QUILLFERN_CA_FILE";

// Why a secure connection was refused, as failure() reports it.
enum class TlsRefusal {
    kNone,                  // not a TLS problem
    kUntrustedCertificate,  // no trusted CA signed it, or it has expired
    kNameMismatch,          // a valid certificate, made for another host name
    kUnusableCaFile,        // QUILLFERN_CA_FILE cannot be read or holds no certificate
    kHandshakeFailed,       // no TLS agreed at all (e.g. "pop3s://" to a plain port)
    kNotOffered,            // the address requires STLS and the server does not offer it
};
// The refusal a Status made by failure() stands for; kNone for any other.
TlsRefusal tlsRefusalOf(const Status& status);
// The transport fault that names `refusal`; kNone for TlsRefusal::kNone.
TransportFault tlsFault(TlsRefusal refusal);
// A kRefused Status for `refusal` (not kNone) that tlsRefusalOf recognises.
Status tlsRefused(TlsRefusal refusal, std::string_view detail);

// Seconds; 0 switches a limit off.
struct TransferLimits {
    long connectSeconds = 30;  // TCP, TLS, greeting and capabilities
    long replySeconds = 60;    // wait for the reply to one command
    long stallSeconds = 60;    // a transfer that moves no byte for this long
};

}  // namespace qf::transport
