#include "store/BoxCatalogue.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>

#include "store/MailStore.h"
#include "store/Originals.h"

namespace qf::store {

namespace {

constexpr std::array<BoxInfo, 8> kBoxes{{
    {1, "kdxdata2.data", "KDXDATA2.TMP", RecordKind::kMail, ""},
    {2, "kdxdata3.data", "KDXDATA3.TMP", RecordKind::kMail, ""},
    {3, "kdxdata4.data", "KDXDATA4.TMP", RecordKind::kMail, ""},
    {4, "kdxdata5.data", "KDXDATA5.TMP", RecordKind::kMail, ""},
    {5, "kdxdata7.data", "KDXDATA7.TMP", RecordKind::kMail, ""},
    {kOtherBox, "kdxdata8.data", "KDXDATA8.TMP", RecordKind::kMail, "その他"},
    {kKeepBox, "kdxdata10.data", "KDXDATA10.TMP", RecordKind::kKeep, "保管箱"},
    {kSendHistoryBox, "kdxdata6.data", "KDXDATA6.TMP", RecordKind::kSent, "送信履歴"},
}};

std::vector<RecordFile> allRecordFiles(base::FileSystem& fs, const std::string& dataFolder) {
    std::vector<RecordFile> files;
    for (const BoxInfo& box : kBoxes) {
        files.push_back(boxFile(fs, dataFolder, box));
    }
    files.push_back(addressBookFile(fs, dataFolder));
    return files;
}

}  // namespace

std::span<const BoxInfo> allBoxes() {
    return kBoxes;
}

const BoxInfo* findBox(int number) {
    for (const BoxInfo& box : kBoxes) {
        if (box.number == number) {
            return &box;
        }
    }
    return nullptr;
}

std::string dataFolderOf(const std::string& programFolder) {
    return base::joinPath(programFolder, kDataFolderName);
}

RecordFile boxFile(base::FileSystem& fs, const std::string& dataFolder, const BoxInfo& box) {
    return RecordFile(fs, base::joinPath(dataFolder, box.fileName),
                      base::joinPath(dataFolder, box.tempName), layoutOf(box.kind).format());
}

RecordFile addressBookFile(base::FileSystem& fs, const std::string& dataFolder) {
    return RecordFile(fs, base::joinPath(dataFolder, kAddressBookFileName),
                      base::joinPath(dataFolder, kAddressBookTempName), kAddressRecordFormat);
}

RecoveryReport recoverLeftovers(const std::string& dataFolder, base::FileSystem& fs) {
    RecoveryReport report;
    for (RecordFile& file : allRecordFiles(fs, dataFolder)) {
        auto actions = file.recover();
        if (!actions) {
            if (report.status.isOk()) {
                report.status = actions.status();
            }
            continue;
        }
        report.actions.insert(report.actions.end(), actions.value().begin(), actions.value().end());
    }
    // The boxes are whole now: originals whose record is gone can go.
    MailStore store(dataFolder, fs);
    auto originals = Originals(dataFolder, fs).recover(store);
    if (!originals && report.status.isOk()) {
        report.status = originals.status();
    } else if (originals) {
        report.actions.insert(report.actions.end(), originals.value().begin(),
                              originals.value().end());
    }
    return report;
}

namespace {

// The files recover() moved aside for `file`: "<box>.torn-<time>" and
// "<temp>.kept-<time>".
std::vector<SetAsideFile> filesSetAside(const RecordFile& file) {
    const std::filesystem::path box(file.path());
    const std::string torn = box.filename().string() + ".torn-";
    const std::string kept = std::filesystem::path(file.tempPath()).filename().string() + ".kept-";
    std::vector<SetAsideFile> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(box.parent_path(), error)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(torn) || name.starts_with(kept)) {
            found.push_back({name.starts_with(torn), name});
        }
    }
    std::sort(found.begin(), found.end(),
              [](const SetAsideFile& a, const SetAsideFile& b) { return a.name < b.name; });
    return found;
}

}  // namespace

std::vector<FileReport> checkDataFolder(const std::string& dataFolder, base::FileSystem& fs) {
    std::vector<FileReport> reports;
    for (const RecordFile& file : allRecordFiles(fs, dataFolder)) {
        auto report = file.inspect();
        if (report) {
            reports.push_back(std::move(report).value());
            reports.back().setAside = filesSetAside(file);
            continue;
        }
        // An unreadable file is one more finding; the others are still checked.
        FileReport unreadable;
        unreadable.path = file.path();
        unreadable.exists = fs.exists(file.path());
        unreadable.problems.push_back({FileProblemKind::kUnreadable,
                                       "cannot be checked: " + report.status().toString(),
                                       {},
                                       {},
                                       report.status().outsideText()});
        reports.push_back(std::move(unreadable));
    }
    return reports;
}

}  // namespace qf::store
