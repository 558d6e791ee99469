// The POP3 session's line work: what may go into a command, how a server's
// line is shown in an error text, and the listings and capabilities it reads.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace qf::transport::pop3 {

bool hasLineBreakOrNul(std::string_view text);
// A server's line as it may appear in an error text: cut, control
// characters replaced.
std::string printableLine(std::string_view line);
// The first word of a command line: "RETR 5" → "RETR".
std::string verbOf(const std::string& line);

// "n size" lines of a LIST reply.
std::map<int, long> parseListing(std::string_view listing);
// "n id" lines of a UIDL reply; an id is 1 to 70 printable characters.
std::map<int, std::string> parseUniqueIds(std::string_view listing);
// The arguments of a capability a CAPA reply lists (the rest of the line
// after its name); nullopt when it is not listed.
std::optional<std::string_view> capabilityArguments(std::string_view capabilities,
                                                    std::string_view name);
bool listsCapability(std::string_view capabilities, std::string_view name);
// True when the space-separated arguments hold `word` (any case).
bool listsWord(std::optional<std::string_view> arguments, std::string_view word);

}  // namespace qf::transport::pop3
