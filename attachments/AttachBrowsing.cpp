#include "attachments/AttachBrowsing.h"

namespace qf::attachments {

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
