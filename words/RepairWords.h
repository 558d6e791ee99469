// The sentences of what a repair after a crash did: the start-up message
// and the store tool's recover print the same ones.
#pragma once

#include <string>
#include <vector>

#include "base/RepairAction.h"

namespace qf::ui {

// One sentence for one action, naming its file.
std::string repairWords(const base::RepairAction& action);

// One line per action, in order, each marked "・" so that a wrapped
// sentence is told from the next.
std::string repairLines(const std::vector<base::RepairAction>& actions);

}  // namespace qf::ui
