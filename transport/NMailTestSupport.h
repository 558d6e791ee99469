// Test helpers shared by the tests of the NMail functions.
#pragma once

#include <string>
#include <vector>

#include "text/Cp932.h"
#include "transport/NMail.h"
#include "transport/TransportFault.h"

namespace qf::transport::testing {

// APOP flags of NMailPop3Authenticate.
inline constexpr int kApop = -1;
inline constexpr int kPlain = 0;

// The text NMailGetMessage returns now, as UTF-8.
inline std::string lastMessage() {
    std::vector<char> buffer(8192);
    int length = 8192;
    NMailGetMessage(0, buffer.data(), &length);
    return text::fromCp932(buffer.data());
}

// The code NMailGetErrorCode returns now.
inline TransportFault lastFault() {
    return static_cast<TransportFault>(NMailGetErrorCode(0, nullptr, 0));
}

// What the last error concerns (NMailGetErrorCode's `about`), as UTF-8.
inline std::string lastAbout() {
    std::vector<char> buffer(8192);
    NMailGetErrorCode(0, buffer.data(), static_cast<int>(buffer.size()));
    return text::fromCp932(buffer.data());
}

}  // namespace qf::transport::testing
