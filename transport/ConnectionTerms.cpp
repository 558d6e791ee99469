#include "transport/ConnectionTerms.h"

#include <string>

namespace qf::transport {

namespace {

// The detail text of a TLS refusal starts with its name, so the reason
// survives the trip up as a plain Status.
struct RefusalName {
    TlsRefusal refusal;
    std::string_view prefix;
};
constexpr RefusalName kRefusalNames[] = {
    {TlsRefusal::kUntrustedCertificate, "certificate not trusted: "},
    {TlsRefusal::kNameMismatch, "certificate made for another host name: "},
    {TlsRefusal::kUnusableCaFile, "CA file not usable: "},
    {TlsRefusal::kHandshakeFailed, "TLS handshake failed: "},
    {TlsRefusal::kNotOffered, "TLS not offered: "},
};

}  // namespace

TransportFault tlsFault(TlsRefusal refusal) {
    switch (refusal) {
        case TlsRefusal::kUntrustedCertificate:
            return TransportFault::kTlsUntrustedCertificate;
        case TlsRefusal::kNameMismatch:
            return TransportFault::kTlsNameMismatch;
        case TlsRefusal::kUnusableCaFile:
            return TransportFault::kTlsUnusableCaFile;
        case TlsRefusal::kHandshakeFailed:
            return TransportFault::kTlsHandshakeFailed;
        case TlsRefusal::kNotOffered:
            return TransportFault::kTlsNotOffered;
        case TlsRefusal::kNone:
            break;
    }
    return TransportFault::kNone;
}

TlsRefusal tlsRefusalOf(const Status& status) {
    if (status.code() != StatusCode::kRefused) {
        return TlsRefusal::kNone;
    }
    for (const RefusalName& name : kRefusalNames) {
        if (status.message().starts_with(name.prefix)) {
            return name.refusal;
        }
    }
    return TlsRefusal::kNone;
}

Status tlsRefused(TlsRefusal refusal, std::string_view detail) {
    for (const RefusalName& name : kRefusalNames) {
        if (name.refusal == refusal) {
            return Status::refused(std::string(name.prefix) + std::string(detail));
        }
    }
    return Status::refused(std::string(detail));
}

}  // namespace qf::transport
