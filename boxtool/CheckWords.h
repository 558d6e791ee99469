// How check words what it found in a record file: the store reports each
// finding as a kind with its records or file, the tool turns it into a
// line of its terminal words.
#pragma once

#include <string>

#include "store/RecordFile.h"

namespace qf::boxtool {

// The sentence for `problem` of a file of shape `shape`, with the OS's text
// in brackets where the file could not be read.
std::string problemWords(const store::FileProblem& problem, const store::Shape& shape);

// The line naming a file recover() set aside and what to do with it.
std::string setAsideWords(const store::SetAsideFile& file);

}  // namespace qf::boxtool
