// Power-cut trials: a command run once per cut point with the power going
// off there (see FaultyFileSystem's power-cut mode), and once with the power
// going off right after it returned.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "store/StoreTestSupport.h"

namespace qf::testing {

struct CutPoint {
    int step;        // the changing file operation the power went off before; 0: after the end
    bool completed;  // the command had returned success before the cut
    store::testing::PowerCut mode;
};

inline std::ostream& operator<<(std::ostream& out, const CutPoint& at) {
    out << (at.mode == store::testing::PowerCut::kDropUnsynced ? "dropped" : "torn")
        << " writes, cut ";
    return at.step == 0 ? out << "after the end" : out << "before step " << at.step;
}

// Test names for the two modes of a suite instantiated over them.
inline std::string modeName(const ::testing::TestParamInfo<store::testing::PowerCut>& param) {
    return param.param == store::testing::PowerCut::kDropUnsynced ? "Dropped" : "Torn";
}

inline const char* modeText(store::testing::PowerCut mode) {
    return mode == store::testing::PowerCut::kDropUnsynced ? "unsynced writes dropped"
                                                           : "unsynced writes torn";
}

// The steps to cut before, out of `steps`: every one up to `most`, else
// evenly spaced ones (every k-th from the first) and always the last.
inline std::vector<int> cutSteps(int steps, int most) {
    const int stride = steps <= most ? 1 : (steps + most - 1) / most;
    std::vector<int> chosen;
    for (int step = 1; step <= steps; step += stride) {
        chosen.push_back(step);
    }
    if (!chosen.empty() && chosen.back() != steps) {
        chosen.push_back(steps);
    }
    return chosen;
}

// Runs `command` after `reset` with the power cut before each chosen step,
// and once after the end; `check` looks at the files after each cut.
// Returns the number of cut points tried.
inline int cutEverywhere(store::testing::PowerCut mode, const std::function<void()>& reset,
                         const std::function<bool(base::FileSystem&)>& command,
                         const std::function<void(const CutPoint&)>& check, int most = 80) {
    reset();
    store::testing::FaultyFileSystem counter(/*failAt=*/0);
    EXPECT_TRUE(command(counter)) << "the command fails without a fault";
    const std::vector<int> steps = cutSteps(counter.operations(), most);
    for (int step : steps) {
        reset();
        store::testing::FaultyFileSystem fs(step);
        fs.withPowerCut(mode);
        const bool done = command(fs);
        EXPECT_TRUE(fs.failed()) << "step " << step << " never came";
        check({step, done && !fs.failed(), mode});
    }
    reset();
    store::testing::FaultyFileSystem fs(/*failAt=*/0);
    fs.withPowerCut(mode);
    const bool done = command(fs);
    fs.cutPower();
    check({0, done, mode});
    return static_cast<int>(steps.size()) + 1;
}

}  // namespace qf::testing
