// Parameters of structured header values (Content-Type, Content-Disposition)
// as received mail writes them: RFC 2231 sections and charsets, quoted
// values with encoded-words or raw 8-bit bytes in them; and the RFC 2231
// form sent mail gives a file name.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qf::transport {

// The value of parameter `name` in a raw structured header value such as
// `attachment; filename*0*=ISO-2022-JP''%1B...; filename*1*=...`, as UTF-8:
// RFC 2231 continuations joined in order and then decoded, a plain quoted
// value decoded as header text (it may hold encoded-words or raw 8-bit
// bytes). nullopt when the parameter is absent.
std::optional<std::string> headerParameter(std::string_view rawValue, std::string_view name);

// The RFC 2231 form of a parameter value: UTF-8''percent-encoded.
std::string encodeRfc2231Value(std::string_view utf8);

}  // namespace qf::transport
