// The text of an HTML part, for a mail that carries no plain text.
#pragma once

#include <string>
#include <string_view>

namespace qf::transport {

// The text of an HTML document: tags removed, block ends as line breaks,
// script and style dropped, character references decoded.
std::string htmlToText(std::string_view html);

}  // namespace qf::transport
