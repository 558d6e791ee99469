#include "attachments/AttachBrowsing.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <iterator>
#include <memory>

#include "text/Cp932.h"
#include "text/LineBreaks.h"
#include "text/Utf8.h"
#include "transport/MailDecoder.h"

namespace qf::attachments {
namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

bool isUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = text::utf8CharacterLength(text, i);
        if (length == 1 && static_cast<unsigned char>(text[i]) >= 0x80) {
            return false;
        }
        i += length;
    }
    return true;
}

std::string withReplacementCharacters(std::string_view text) {
    std::string shown;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = text::utf8CharacterLength(text, i);
        if (length == 1 && static_cast<unsigned char>(text[i]) >= 0x80) {
            shown += kReplacementCharacter;
        } else {
            shown += text.substr(i, length);
        }
        i += length;
    }
    return shown;
}

std::string caseFolded(std::string_view text) {
    std::string folded(text);
    std::transform(folded.begin(), folded.end(), folded.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    return folded;
}

bool isShownMailField(std::string_view line) {
    static constexpr std::string_view kFields[] = {"from:", "to:", "cc:", "date:", "subject:"};
    const std::string start = caseFolded(line.substr(0, 8));
    return std::any_of(std::begin(kFields), std::end(kFields),
                       [&](std::string_view field) { return start.starts_with(field); });
}

}  // namespace

bool isMailFile(std::string_view name) {
    return name.size() > 4 && caseFolded(name.substr(name.size() - 4)) == ".eml";
}

std::string mailFileText(std::string_view rawMail) {
    const transport::DecodedMail mail = transport::decodeMail(rawMail);
    std::string shown;
    std::string_view header = mail.headerText;
    while (!header.empty()) {
        const std::size_t end = std::min(header.find("\r\n"), header.size());
        const std::string_view line = header.substr(0, end);
        if (isShownMailField(line)) {
            shown += line;
            shown += '\n';
        }
        header.remove_prefix(std::min(end + 2, header.size()));
    }
    shown += '\n';
    shown += text::withLf(mail.body);
    return shown;
}

std::string shownFileName(std::string_view name) {
    if (isUtf8(name)) {
        return std::string(name);
    }
    std::string cp932 = text::fromCp932(name);
    if (cp932.find(kReplacementCharacter) == std::string::npos) {
        return cp932;
    }
    return withReplacementCharacters(name);
}

std::vector<ListedFile> listFiles(const std::string& folder) {
    std::vector<ListedFile> files;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) {
        return files;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (name.empty() || name.front() == '.') {
            continue;
        }
        struct stat status {};
        if (::stat(chosenFilePath(folder, name).c_str(), &status) != 0 ||
            !S_ISREG(status.st_mode)) {
            continue;
        }
        files.push_back({std::string(name), shownFileName(name)});
    }
    std::sort(files.begin(), files.end(), [](const ListedFile& a, const ListedFile& b) {
        return caseFolded(a.shownName) < caseFolded(b.shownName);
    });
    return files;
}

std::string chosenFilePath(std::string_view folder, std::string_view name) {
    while (!folder.empty() && folder.back() == '/') {
        folder.remove_suffix(1);
    }
    std::string path(folder);
    path += '/';
    path += name;
    return path;
}

// The pieces are kept as the user has always read them, down to the
// half-width full stops ("｡") and the single space after two of them.
std::string_view explanationText() {
    static const std::string text =
        std::string(
            "■ドライブ（上）、ディレクトリ（中）、ファイルフィルリスト（下）からファイルを選択、"
            "クリックして下さい。\n\n") +
        "■「ＧＩＦ，ＪＰＧ（ＪＰＥＧ），ＢＭＰ，はリストをクリックすると上の"
        "フレームに表示されます。ＨＴＭＬ（ＨＰ）ファイルはこのフレームに表示されます。"
        "その他のファイルは（EXE等）"
        "「ファイルのダウンロード」ダイアログが現れますので、"
        "「このファイルを上記の場所から実行する（開く）」をチェックして下さい。\n\n"
        "■保存したい場合は「このファイルを上記の場所から保存する」をチェックし、"
        "任意の場所を選択し保存して下さい。\n\n"
        "■この説明は「説明」ボタンをクリックすると消去され、"
        "もう一度クリックすると再び表示されます｡ \n"
        "ＨＴＭＬ（ＨＰ）ファイルを選択した際にも自動的に消去されます｡ \n\n"
        "■送信されて来た添付ファイルは、「Quillfern」フォルダの添付フォルダ内に展開されています。\n"
        "添付ファイルはユーザー任意の場所に移動するようにして下さい。\n\n"
        "■知らない人からの添付ファイルは開かない事が､コンピューターウイルスからの感染を防止します｡"
        " ";
    return text;
}

bool ExplanationToggle::press() {
    const bool show = m_presses % 2 == 0;
    if (!show) {
        m_presses = 1;
    }
    ++m_presses;
    return show;
}

}  // namespace qf::attachments
