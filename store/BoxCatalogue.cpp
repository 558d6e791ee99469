#include "store/BoxCatalogue.h"

#include <array>

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

std::vector<RecordFile> allRecordFiles(FileSystem& fs, const std::string& dataFolder) {
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
    return joinPath(programFolder, kDataFolderName);
}

RecordFile boxFile(FileSystem& fs, const std::string& dataFolder, const BoxInfo& box) {
    return RecordFile(fs, joinPath(dataFolder, box.fileName), joinPath(dataFolder, box.tempName),
                      layoutOf(box.kind).format());
}

RecordFile addressBookFile(FileSystem& fs, const std::string& dataFolder) {
    return RecordFile(fs, joinPath(dataFolder, kAddressBookFileName),
                      joinPath(dataFolder, kAddressBookTempName), kAddressRecordFormat);
}

RecoveryReport recoverLeftovers(const std::string& dataFolder, FileSystem& fs) {
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
    return report;
}

std::vector<FileReport> checkDataFolder(const std::string& dataFolder, FileSystem& fs) {
    std::vector<FileReport> reports;
    for (const RecordFile& file : allRecordFiles(fs, dataFolder)) {
        auto report = file.inspect();
        if (report) {
            reports.push_back(std::move(report).value());
            continue;
        }
        // An unreadable file is one more finding; the others are still checked.
        FileReport unreadable;
        unreadable.path = file.path();
        unreadable.exists = fs.exists(file.path());
        unreadable.problems.push_back("cannot be checked: " + report.status().toString());
        reports.push_back(std::move(unreadable));
    }
    return reports;
}

}  // namespace qf::store
