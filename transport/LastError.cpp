#include "transport/LastError.h"

namespace qf::transport {

namespace {
std::string& storage() {
    thread_local std::string text;
    return text;
}
}  // namespace

void setLastError(std::string_view sentence, std::string_view detail) {
    std::string& text = storage();
    text.assign(sentence);
    if (!detail.empty()) {
        text += "（";
        text += detail;
        text += "）";
    }
}

void clearLastError() {
    storage().clear();
}

const std::string& lastError() {
    return storage();
}

}  // namespace qf::transport
