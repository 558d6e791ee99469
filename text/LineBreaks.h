// Line breaks as the stored records and the work file want them: every CR LF,
// LF and lone CR written as CR LF. Runs of text that already end their lines
// in CR LF are copied whole, so a mail that came that way costs one copy.
// And as a text box wants them: every break as LF.
#pragma once

#include <string>
#include <string_view>

namespace qf::text {

// Appends `text` to `out` with every line break as CR LF. A last line
// without a line break is left without one.
void appendWithCrLf(std::string& out, std::string_view text);

// `text` with every line break as CR LF (as appendWithCrLf).
std::string withCrLf(std::string_view text);

// `text` with every line break (CR LF, LF, lone CR) as LF, as a text box
// holds its lines.
std::string withLf(std::string_view text);

}  // namespace qf::text
