// A box file of many different mails of realistic size, written straight in
// the MailRecord layout, for the viewer benchmarks.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "store/MailRecord.h"

namespace qf::bench {

inline void writeLargeBox(const std::filesystem::path& file, int records) {
    const store::RecordLayout& layout = store::layoutOf(store::RecordKind::kMail);
    std::vector<char> record(layout.lengthBytes);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    std::string body;
    for (int line = 0; line < 60; ++line) {
        body += "いつもお世話になっております。来週の打ち合わせの件でご連絡いたします。\r\n";
    }
    for (int n = 1; n <= records; ++n) {
        const std::string number = std::to_string(n);
        store::encodeRecord(layout,
                            {"打ち合わせの件 その" + number, "sender" + number + "@example.jp",
                             "Tue, 8 Dec 2026 09:00:00 +0900", body + number},
                            1, record);
        out.write(record.data(), static_cast<std::streamsize>(record.size()));
    }
}

}  // namespace qf::bench
