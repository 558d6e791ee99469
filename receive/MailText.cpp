#include "receive/MailText.h"

#include <fstream>
#include <iterator>

#include "receive/ReceiveRun.h"
#include "text/FixedField.h"

namespace qf::receive {

namespace {

// Calls `line` for every line of `text`; CR LF, LF and CR each end a line.
template <typename LineFunction>
void forEachLine(std::string_view text, LineFunction line) {
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            line(text.substr(start));
            return;
        }
        line(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n') {
            ++start;
        }
    }
}

std::string_view withoutTrailingLineBreaks(std::string_view text) {
    const std::size_t last = text.find_last_not_of("\r\n");
    return last == std::string_view::npos ? std::string_view{} : text.substr(0, last + 1);
}

}  // namespace

std::string joinLinesCrLf(std::string_view text) {
    std::string joined;
    joined.reserve(text.size() + text.size() / 32 + 2);
    forEachLine(text, [&joined](std::string_view line) {
        joined.append(line);
        joined.append("\r\n");
    });
    return joined;
}

std::string wholeMailLines(std::string_view header, std::string_view body) {
    std::string text = joinLinesCrLf(withoutTrailingLineBreaks(header));
    text.append("\r\n");
    text.append(joinLinesCrLf(body));
    return text;
}

Result<std::string> passThroughWorkFile(const std::filesystem::path& workFile,
                                        std::string_view header, std::string_view body) {
    const std::string lines = wholeMailLines(header, body);
    {
        std::ofstream out(workFile, std::ios::binary | std::ios::trunc);
        out.write(lines.data(), static_cast<std::streamsize>(lines.size()));
        out.close();
        if (!out) {
            return Status::ioError("作業ファイル " + workFile.string() + " に書き込めません。");
        }
    }
    std::ifstream in(workFile, std::ios::binary);
    std::string stored{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad() || !in.is_open()) {
        return Status::ioError("作業ファイル " + workFile.string() + " を読み込めません。");
    }
    return joinLinesCrLf(stored);
}

int slotForSender(std::string_view sender,
                  const std::array<std::string, settings::kSortingRegistrationCount>& addresses) {
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        if (text::stripSpaces(addresses[i]) == sender) {
            return static_cast<int>(i);
        }
    }
    return kOtherSlot;
}

bool mentionsAttachment(std::string_view rawText) {
    return rawText.find("attachment") != std::string_view::npos;
}

}  // namespace qf::receive
