// `quillfern-box show BOX N` for a record whose original is kept: the texts
// of the original, decoded as the receive decodes them (every character as
// it was written), with the record's date and status. Runs in
// quillfern-box-receive, the one program of the tool that loads the MIME
// library:
//
//   quillfern-box-receive --show PROGRAM_FOLDER BOX N
#pragma once

#include <ostream>
#include <string>

namespace qf::boxtool {

int showWithOriginal(const std::string& programFolder, int box, int recordNumber, std::ostream& out,
                     std::ostream& err);

}  // namespace qf::boxtool
