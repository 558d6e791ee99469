// Every message the program shows, once: QF_WORDS(name, box, title, sentence).
//
// name      the Say value that stands for it;
// box       how the window shows it: kAsk (Yes/No question), kInform, kWarn,
//           kRetry (OK tries again, Cancel goes on);
// title     the box's title, "" for the program's own;
// sentence  what failed and what to do next, in Japanese; "%1", "%2" … are
//           filled in from the context (a server name, a count, …).
// The library's or server's own text, when there is one, follows the
// sentence in brackets (see Words.h). Adding a message is adding a line.
//
// No include guard: Words.h and Words.cpp include this list to expand it.
// One message a line, so that adding one is adding a line.
// clang-format off

// ---- receiving ----
QF_WORDS(kReceiveNoServer, kWarn, "エラー", "POP3サーバーが設定されていないため、受信できませんでした。設定 → POPサーバー でPOP3サーバー名を入力してください。")
QF_WORDS(kReceiveConnectFailed, kWarn, "エラー", "POP3サーバー「%1」に接続できませんでした。設定 → POPサーバー のPOP3サーバー名と、ネットワークの接続を確かめてください。")
QF_WORDS(kReceiveNoAccount, kWarn, "エラー", "IDまたはパスワードが入力されていないため、受信できませんでした。設定 → ID/PASS でIDとパスワードを入力してください。")
QF_WORDS(kReceiveLoginRefused, kWarn, "エラー", "POP3サーバーにログインできませんでした。設定 → ID/PASS のIDとパスワード、設定 → POPサーバー のAPOPの設定を確かめてください。")
QF_WORDS(kReceiveAttachmentCannotBeOpened, kInform, "", "添付ファイルをオープンできません\nこのメールはサーバーに残しました。添付フォルダに書き込めるか確かめてから、もう一度受信してください。")
QF_WORDS(kReceiveSplitMailIncomplete, kInform, "", "分割されたメールが全て揃っていません\n残りの部分が届いてから、もう一度受信してください。届いた部分はそのまま保存しました。")
QF_WORDS(kReceiveFetchFailed, kWarn, "エラー", "%1 通目のメールを受信できませんでした。このメールから後はサーバーに残してあります。ネットワークの接続を確かめてから、もう一度受信してください。")
QF_WORDS(kReceiveStoreFailed, kWarn, "", "%1 通のメールを保存できなかったため、サーバーに残しました。ディスクの空きと「★MAilData」フォルダに書き込めるかを確かめてから、もう一度受信してください。")
QF_WORDS(kReceiveCloseFailed, kInform, "エラー", "受信したメールをサーバーから削除できませんでした。メールは保存済みですが、サーバーにも残っています。次の受信で同じメールがもう一度届くことがあります。")
QF_WORDS(kReceiveBoxNotSynced, kWarn, "", "%1 通のメールは箱に保存しましたが、ディスクへの書き込みを確定できなかったため、サーバーにも残しました。次の受信で、保存済みのメールはもう一度保存しません。ディスクの空きと「★MAilData」フォルダを確かめてください。")
QF_WORDS(kReceiveDeleteFailed, kWarn, "", "%1 通のメールは保存しましたが、サーバーで削除できなかったため、サーバーにも残っています。次の受信で、保存済みのメールはもう一度保存せずに削除します。")
QF_WORDS(kReceiveRecovered, kInform, "", "前回の受信は途中で終わっていました。そのとき保存済みだった %1 通のメールは、もう一度受信せずにサーバーから削除します。")
QF_WORDS(kReceiveRecoveryUnavailable, kInform, "", "前回の受信は途中で終わっていました。このサーバーはメールの識別番号（UIDL）に対応していないため、前回保存したメールがもう一度届くことがあります。")
QF_WORDS(kReceiveRecoveredLeft, kInform, "", "前回の受信は途中で終わっていました。そのとき保存済みだった %1 通のメールは、もう一度受信せずにサーバーに残します。")
QF_WORDS(kReceiveKeepNeedsUidl, kInform, "", "このPOP3サーバーはメールの識別番号（UIDL）に対応していないため、メールをサーバーに残せません。受信したメールは、これまでどおりサーバーから削除します。このお知らせは一度だけ表示します。")
QF_WORDS(kReceiveSeenListNotWritten, kWarn, "", "受信済みメールの一覧（★MAilData/receive.seen）を保存できませんでした。受信したメールは保存してあり、次の受信で一覧に加えます。「★MAilData」フォルダに書き込めるか確かめてください。")
QF_WORDS(kReceiveSeenListLost, kAsk, "確認", "サーバーに残したメールの受信済み一覧が見つからないか、読めません。サーバーには %1 通のメールがあります。\n\nはい: すべてもう一度受信します\nいいえ: いまサーバーにあるメールを受信済みとし、受信しません\nキャンセル: 今回は受信しません")
QF_WORDS(kReceiveSeenListLostStopped, kWarn, "エラー", "サーバーに残したメールの受信済み一覧が見つからないか、読めないため、受信を中止しました。サーバーには %1 通のメールがあります。すべてもう一度受信するには --lost-seen-list fetch-all を、いまサーバーにあるメールを受信済みとするには --lost-seen-list mark-seen を付けて実行してください。")
QF_WORDS(kReceiveAccountNotSaved, kWarn, "", "ID/パスワードを保存できませんでした。受信は入力されたID/パスワードで行いました。「★MAilData」フォルダに書き込めるか確かめてください。")
QF_WORDS(kReceiveServerNotFound, kWarn, "エラー", "POP3サーバー「%1」が見つかりませんでした。設定 → POPサーバー のPOP3サーバー名に誤りがないか確かめてください。")
QF_WORDS(kReceiveTimedOut, kWarn, "エラー", "POP3サーバー「%1」が時間内に応答しなかったため、受信できませんでした。しばらく待ってから、もう一度受信してください。")
QF_WORDS(kReceiveTlsUntrusted, kWarn, "エラー", "POP3サーバー「%1」の証明書を信頼できないため、接続しませんでした。証明書の発行元を確認できないか、期限切れです。サーバー名が正しいか確かめ、サーバーの管理者に問い合わせてください。")
QF_WORDS(kReceiveTlsNameMismatch, kWarn, "エラー", "POP3サーバー「%1」の証明書は別のサーバー名のものなので、接続しませんでした。設定 → POPサーバー のPOP3サーバー名が、証明書にある名前と同じか確かめてください。")
QF_WORDS(kReceiveTlsCaFile, kWarn, "エラー", "環境変数 QUILLFERN_CA_FILE の証明書ファイルを読み込めないため、接続しませんでした。ファイルがあり、PEM形式の証明書が入っているか確かめてください。")
QF_WORDS(kReceiveTlsFailed, kWarn, "エラー", "POP3サーバー「%1」と暗号化した接続ができなかったため、接続しませんでした。設定 → POPサーバー のPOP3サーバー名とポート番号を確かめてください。")
QF_WORDS(kReceiveTlsNotOffered, kWarn, "エラー", "POP3サーバー「%1」が暗号化（STLS）に対応していないため、接続しませんでした。設定 → POPサーバー のPOP3サーバー名から「pop3+stls://」を外すか、サーバーの管理者に問い合わせてください。")
QF_WORDS(kReceiveApopNotOffered, kWarn, "エラー", "POP3サーバーがAPOPに対応していないため、ログインしませんでした。設定 → POPサーバー のAPOPをオフにしてから、もう一度受信してください。")
QF_WORDS(kReceiveXOAuth2NotOffered, kWarn, "エラー", "POP3サーバーがOAuth 2.0でのログイン（XOAUTH2）を暗号化した接続で受け付けていないため、ログインしませんでした。設定 → POPサーバー のサーバー名（995番ポート）を確かめてください。")
QF_WORDS(kReceiveTokenRefused, kWarn, "エラー", "POP3サーバーがサインインの有効期限切れなどの理由でログインを拒みました。プログラムの設定からもう一度サインインしてください。")
QF_WORDS(kReceiveFetchTimedOut, kWarn, "エラー", "%1 通目のメールの受信中に、サーバーが時間内に応答しませんでした。このメールから後はサーバーに残してあります。しばらく待ってから、もう一度受信してください。")
QF_WORDS(kReceiveMailTooLarge, kWarn, "エラー", "%1 通目のメールは大きすぎるため受信できませんでした。このメールから後はサーバーに残してあります。ほかのメールソフトで受信するか、差出人に問い合わせてください。")
QF_WORDS(kReceiveWholeMailNestedTooDeep, kInform, "", "このメールは添付ファイルの入れ子が上限の %1 段を超えるため、添付ファイルを展開せず、メール全体を「%2」として添付フォルダに保存しました。")
QF_WORDS(kReceiveWholeMailTooManyParts, kInform, "", "このメールは添付ファイルが %1 個あり、上限の %2 個を超えるため、添付ファイルを展開せず、メール全体を「%3」として添付フォルダに保存しました。")
QF_WORDS(kReceiveWholeMailTooLarge, kInform, "", "このメールは添付ファイルが合わせて %1 MB あり、上限の %2 MB を超えるため、添付ファイルを展開せず、メール全体を「%3」として添付フォルダに保存しました。")

// ---- the timed check and the desktop's notice ----
QF_WORDS(kTimedCheckAwaitsAnswer, kInform, "", "自動受信は、サーバーに残したメールの受信済み一覧についての答えを待っています。受信ボタンを押して答えてください。")
QF_WORDS(kTimedCheckFailed, kInform, "", "自動受信（%1）はできませんでした。受信ボタンを押すと、理由と確かめることが表示されます。")
QF_WORDS(kNewMailArrived, kInform, "新着メール", "新着メールが届きました。\n%1")

// ---- start-up and the main window ----
QF_WORDS(kNoCp932, kWarn, "", "文字コード CP932 の変換が使えないため起動できません。iconv（Debian のパッケージ libc-bin）の CP932 変換が使えるか確かめてください。")
QF_WORDS(kNoProgramFolder, kWarn, "", "プログラムのフォルダが見つかりません。QUILLFERN_FOLDER の指すフォルダがあるか確かめてください。")
QF_WORDS(kFolderNotPrepared, kWarn, "", "プログラムのフォルダを準備できません。フォルダに書き込めるか確かめてから、起動し直してください。")
QF_WORDS(kFolderNotYours, kWarn, "", "このフォルダは別のユーザーのものなので使用できません。メールは、フォルダの持ち主のユーザーだけが読み書きできるように保存します。\n%1\n\n自分が持ち主のフォルダで起動し直してください。")
QF_WORDS(kFolderInUse, kWarn, "", "このフォルダは別のQuillfernが使用中です。\n%1\n\n先に起動しているQuillfernをお使いください。")
QF_WORDS(kFolderUnusable, kWarn, "", "このフォルダを使用できません。\n%1\n\nフォルダに読み書きできるか確かめてから、起動し直してください。")
QF_WORDS(kBoxFilesNotRepaired, kWarn, "", "前回の終了時に残ったメールボックスのファイルを修復できませんでした。ディスクの空きと「★MAilData」フォルダに書き込めるかを確かめてから、起動し直してください。修復できなかったファイルは、そのままにしてあります。\n%1")
QF_WORDS(kBoxFilesRepaired, kInform, "", "前回の終了時に残ったメールボックスのファイルを修復しました。\n%1")
QF_WORDS(kNoBrowser, kInform, "", "ブラウザを起動できませんでした。\nQuillfernのホームページは次のアドレスにあります。\n%1")
QF_WORDS(kMailLinkNotOpened, kWarn, "", "メールのリンクを開けませんでした。リンクの形が正しくないか、宛先に使えない文字が含まれています。リンクを確かめてください。")
QF_WORDS(kLinkNotHandedOver, kWarn, "", "このフォルダを使用中のQuillfernにメールのリンクを渡せませんでした。\n%1")
QF_WORDS(kBoxFileNotOpened, kWarn, "", "メールボックスのファイルを開けません。「★MAilData」フォルダに読み書きできるか確かめてから、起動し直してください。")

// ---- repairs of what a crash left (one line each in kBoxFilesRepaired and
// the store tool's recover): %1 the file, %2 the temporary file's name, %3
// the name of what was set aside (both beside %1), %4 a count ----
QF_WORDS(kRepairRestoredFromTemporary, kInform, "", "%1 がなかったため、中断した整理で残った一時ファイル %2 から復元しました。メールは失われていません。")
QF_WORDS(kRepairDeletionNotDone, kInform, "", "中断した削除は行われていません。%1 のメール %4 通はそのまま残っています。削除したいメールがあれば、もう一度削除してください（残っていた一時ファイル %2 は削除しました）。")
QF_WORDS(kRepairRedundantTemporaryRemoved, kInform, "", "中断した整理で残った一時ファイル %2 を削除しました。その中のメールはすべて %1 にあり、失われたメールはありません。")
QF_WORDS(kRepairCompactionFinished, kInform, "", "中断した整理を完了しました。%1 は途中までしか書かれていなかったため、そのメールをすべて含む一時ファイル %2 に置き換えました。メールは失われていません。")
QF_WORDS(kRepairDamagedTemporaryKeptAside, kInform, "", "中断した整理で残った一時ファイル %2 は壊れたレコード（途中で切れたレコードか、CR LF のないレコード）を含むため、%1 には使わず、%3 という名前で残しました。%3 は、中のメールが %1 にあると確かめるまで削除しないでください。")
QF_WORDS(kRepairTemporaryWithMissingMailKeptAside, kInform, "", "中断した整理で残った一時ファイル %2 には %1 にないメールが含まれていたため、%3 という名前で残しました。%1 はそのままです。%3 は、中のメールが不要と分かるまで削除しないでください。")
QF_WORDS(kRepairTornTailMovedAside, kInform, "", "%1 の末尾に書き込みの途中で切れたレコード（%4 バイト）があったため、%3 に移しました。ほかのメールはそのままです。受信の途中で切れたメールはサーバーに残っているので、次の受信でもう一度届きます。")
QF_WORDS(kRepairDeletedMarksRemoved, kInform, "", "%1 から、前回削除の途中で終わったメール %4 通を取り除き、削除を完了しました。")
QF_WORDS(kRepairLeftoverTemporaryRemoved, kInform, "", "書き込みの途中で残った一時ファイル %2 を削除しました。%1 は書き込み前のまま残っています。")

// ---- settings ----
QF_WORDS(kAccountFileNotRead, kWarn, "", "保存したID/パスワード（★MAilData/iniIdPass.ini）を読めませんでした。ファイルはそのままにしてあります。「★MAilData」フォルダとディスクを確かめてください。")
QF_WORDS(kAccountFileNotWritten, kWarn, "", "ID/パスワードを保存できません。「★MAilData」フォルダに書き込めるか確かめてから、もう一度「OK」を押してください。")
QF_WORDS(kSeenListNotStarted, kWarn, "", "受信済みメールの一覧（★MAilData/receive.seen）を作成できないため、メールをサーバーに残せません。「★MAilData」フォルダに書き込めるか確かめてから、もう一度「設定」を押してください。")
QF_WORDS(kServerSettingsNotWritten, kWarn, "", "サーバーの設定を保存できません。corvid.ini に書き込めるか確かめてから、もう一度「設定」を押してください。")

// ---- the viewer ----
QF_WORDS(kNoSelection, kInform, "", "データが選択されていません")
QF_WORDS(kNoEntrySelected, kWarn, "", "データが選択されていません")
QF_WORDS(kNothingToSelect, kInform, "", "選択するデータがありません。")
QF_WORDS(kMoveQuestion, kAsk, "確認", "選択された（行、青色）データを移します。よろしいですか")
QF_WORDS(kDeleteQuestion, kAsk, "確認", "選択された（行、青色）データを削除します。よろしいですか?")
QF_WORDS(kDeleteAllQuestion, kAsk, "確認", "すべてのデータを削除して良いですか？")
QF_WORDS(kOverwriteQuestion, kAsk, "確認", "同名のファイルが既に存在します。上書きしますか？ ")
QF_WORDS(kBoxNotReadToEnd, kWarn, "", "メールボックスを最後まで読めませんでした。読めたメールだけを表示しています。")
QF_WORDS(kMailNotRead, kWarn, "", "メールを読み込めませんでした。メールボックスのファイルが壊れているかもしれません。もう一度開き直してください。")
QF_WORDS(kMovedNotDurable, kWarn, "", "保管箱へ移動しましたが、ディスクへの書き込みを確定できませんでした。停電などがあると、メールが「その他」にも戻ることがあります。もう一度移動する必要はありません。ディスクと「★MAilData」フォルダを確かめてください。")
QF_WORDS(kMoveNotCompleted, kWarn, "", "保管箱への移動を完了できませんでした。メールは失われていません（「その他」と保管箱の両方にある場合があります）。ディスクの空きを確かめてから、もう一度お試しください。")
QF_WORDS(kMailNotDeleted, kWarn, "", "メールを削除できませんでした。ディスクの空きと「★MAilData」フォルダに書き込めるかを確かめてから、もう一度お試しください。")
QF_WORDS(kMailDeletedNotDurable, kWarn, "", "メールを削除しましたが、ディスクへの書き込みを確定できませんでした。停電などがあると、削除したメールが戻ることがあります。もう一度削除する必要はありません。ディスクと「★MAilData」フォルダを確かめてください。")
QF_WORDS(kBoxNotEmptied, kWarn, "", "全件削除できませんでした。ディスクの空きと「★MAilData」フォルダに書き込めるかを確かめてから、もう一度お試しください。")
QF_WORDS(kBoxEmptiedNotDurable, kWarn, "", "全件削除しましたが、ディスクへの書き込みを確定できませんでした。停電などがあると、削除したメールが戻ることがあります。もう一度削除する必要はありません。ディスクと「★MAilData」フォルダを確かめてください。")
QF_WORDS(kSearchFailed, kWarn, "", "検索できませんでした。「★MAilData」フォルダのメールボックスのファイルを読めるか確かめてから、もう一度検索してください。")
QF_WORDS(kSearchHitOutdated, kInform, "", "検索の後でメールボックスが変わりました。もう一度検索してください。")
QF_WORDS(kBoxFileNotMade, kWarn, "", "メールボックスのファイルを作れませんでした。「★MAilData」フォルダに書き込めるか確かめてください。")
QF_WORDS(kQuickSaveFailed, kWarn, "", "テキストファイルに保存できませんでした。「■TextQuickSave」フォルダに書き込めるか確かめてください。")
QF_WORDS(kEditorNotAFile, kWarn, "", "「%1」はファイルではないため開けません。ファイルを選んでください。")
QF_WORDS(kEditorLargeFileQuestion, kAsk, "確認", "「%1」は %2 MB あります。読み込みに時間がかかります。開きますか？")
QF_WORDS(kEditorFileNotOpened, kWarn, "", "ファイルを開けませんでした。ファイルがあり、読めるか確かめてください。")
QF_WORDS(kEditorFileNotSaved, kWarn, "", "ファイルを保存できませんでした。保存先に書き込めるか確かめてください。")
QF_WORDS(kEditorSavedWithQuestionMarks, kWarn, "", "保存しました。ただし Shift-JIS で書けない文字は「?」として保存しました。")
QF_WORDS(kEditorReplaceWithEmpty, kAsk, "確認", "「%1」には既に内容があります。空のファイルで置き換えますか？")
QF_WORDS(kEditorSaveFirst, kAsk, "ファイルオープン", "編集中のファイルを保存しますか？")
QF_WORDS(kEditorFileNotLoaded, kRetry, "Quillfern  Form_LoadError", "編集中のファイル「%1」を開けませんでした。ファイルがあり、読めるか確かめてから「OK」を押すと、もう一度開きます。「キャンセル」を押すと、開かずに続けます。")

// ---- address book and sorting ----
QF_WORDS(kAddressBookNotRead, kWarn, "", "アドレス帳を読み込めませんでした。「★MAilData」フォルダの kdxdata.data を確かめてください。")
QF_WORDS(kAddressNotRegistered, kWarn, "", "アドレス帳に登録できませんでした。ディスクの空きと「★MAilData」フォルダに書き込めるかを確かめてください。")
QF_WORDS(kAddressRegisteredNotDurable, kWarn, "", "アドレス帳に登録しましたが、ディスクへの書き込みを確定できませんでした。停電などがあると、登録が消えることがあります。もう一度登録する必要はありません。ディスクと「★MAilData」フォルダを確かめてください。")
QF_WORDS(kAddressNotDeleted, kWarn, "", "アドレス帳から削除できませんでした。ディスクの空きと「★MAilData」フォルダに書き込めるかを確かめてください。")
QF_WORDS(kAddressDeletedNotDurable, kWarn, "", "アドレス帳から削除しましたが、ディスクへの書き込みを確定できませんでした。停電などがあると、削除した登録が戻ることがあります。もう一度削除する必要はありません。")
QF_WORDS(kNoAddressTyped, kInform, "", "メールアドレスが入力されていません")
QF_WORDS(kNoCardTyped, kInform, "", "名詞が入力されていません")
QF_WORDS(kCardTooLong, kInform, "", "名詞を付けるとメールアドレスが%1バイトを超えるため、挿入できません。名詞を短くして下さい。")
QF_WORDS(kAddressDeleteQuestion, kAsk, "確認", "選択された（行、青色）データを削除します。よろしいですか")
QF_WORDS(kSortingNotWritten, kWarn, "", "メール分別の登録を保存できませんでした。「★MAilData」フォルダに書き込めるか確かめてから、もう一度「登録」を押してください。")
QF_WORDS(kSortingAddressIsEnough, kInform, "", "●メールアドレスだけを登録すれば、差出人の名前が何であっても分別されます（＜＞は付けても付けなくてもかまいません）。")
QF_WORDS(kSortingNotWrittenClose, kAsk, "確認", "メール分別の登録を保存できませんでした。保存せずに閉じますか？（入力した内容は失われます）")

// ---- attachments ----
QF_WORDS(kWebViewMissing, kWarn, "", "ファイルを表示する部品（Qt WebEngine）を読み込めません。Debian のパッケージ qt6-webengine が入っているか確かめてください。")
QF_WORDS(kAttachmentNotSaved, kWarn, "", "ファイルを保存できませんでした。保存先に書き込めるか確かめてください。")

// ---- closing windows ----
QF_WORDS(kDiscardTypedMail, kAsk, "確認", "入力したメールはまだ送信していません。破棄して閉じますか？\n「いいえ」を選ぶと、入力した内容はそのまま残ります。")
QF_WORDS(kDiscardTypedMailAtExit, kAsk, "確認", "送信していないメールを入力中のウィンドウがあります。入力した内容を破棄して終了しますか？\n「いいえ」を選ぶと終了しません。入力した内容はそのまま残ります。")

// ---- sending ----
QF_WORDS(kSendFailed, kWarn, "送信エラー", "メールを送信できませんでした。宛先のメールアドレスと、設定 → POPサーバー のSMTPサーバー名を確かめてから、もう一度送信してください。")
QF_WORDS(kReplaceTypedMailWithLink, kAsk, "確認", "作成中のメールがあります。\nリンクのメールに置き換えますか？")
QF_WORDS(kSendUnconfirmed, kWarn, "送信エラー", "メールを送信できたか確認できませんでした。メールはすべてサーバーに渡しましたが、その後サーバーから応答がありませんでした。サーバーはメールを受け取っている可能性があります。もう一度送信する前に、宛先に届いていないか確かめてください。")
QF_WORDS(kSendHistoryNotWritten, kWarn, "", "送信履歴に記録できませんでした。ディスクの空きと「★MAilData」フォルダに書き込めるかを確かめてください。")
QF_WORDS(kBatchSendOnlyFailed, kAsk, "確認", "前回の一斉送信で送信できなかった %1 件（%2）にだけ、もう一度送信しますか？\n「いいえ」を選ぶと何も送信しません。送信済みの宛先に同じメールが二通届くことはありません。")
QF_WORDS(kBatchSendAgainMayDuplicate, kAsk, "確認", "前回の一斉送信で送信できなかったか、届いたか確認できなかった %1 件（%2）にだけ、もう一度送信しますか？\nこのうち %3 には、前回のメールがすでに届いている可能性があります。届いていれば同じメールが二通届きます。「いいえ」を選ぶと何も送信しません。")
QF_WORDS(kBatchAddressBookChanged, kAsk, "確認", "前回の一斉送信のあとで、アドレス帳が変更されています。送信先は、前回送信できなかった宛先のうち、今もアドレス帳にあるものだけです。")
QF_WORDS(kBatchRetryLeavesOut, kAsk, "確認", "アドレス帳から削除された %1 には送信しません。")
QF_WORDS(kBatchRetryNobodyLeft, kInform, "", "前回の一斉送信で送信できなかった宛先（%1）は、どれもアドレス帳から削除されています。何も送信しませんでした。アドレス帳の全員にもう一度送るときは、「取消」を選んでから「一括送信」を選び直してください。")
QF_WORDS(kSendingNow, kInform, "", "メールを送信中です。しばらくお待ち下さい。")
QF_WORDS(kSendingBatchPass, kInform, "", "メールを送信中です。しばらくお待ち下さい。（%1/%2件目）")
QF_WORDS(kSendDone, kInform, "", "送信完了です。")
QF_WORDS(kSendFailedTextKept, kInform, "", "送信できませんでした。入力した内容はそのまま残っています。")
QF_WORDS(kSendUnconfirmedTextKept, kInform, "", "送信できたか確認できませんでした。入力した内容はそのまま残っています。")
QF_WORDS(kBatchSentCount, kInform, "", "%1件中%2件を送信しました。")
QF_WORDS(kBatchRefusedCount, kInform, "", "%1件は送信できませんでした。")
QF_WORDS(kBatchUnconfirmedCount, kInform, "", "%1件は届いたか確認できませんでした。")
QF_WORDS(kBatchSkippedCount, kInform, "", "%1件はアドレス帳から削除されていたため送信していません。")
QF_WORDS(kBatchNotRunCount, kInform, "", "%1件はウィンドウを閉じたため送信していません。次の一斉送信で送信できます。")
QF_WORDS(kBatchRefusedRecipients, kInform, "", "送信できなかった宛先：%1")
QF_WORDS(kBatchUnconfirmedRecipients, kInform, "", "届いたか確認できなかった宛先（サーバーが受け取った可能性があります）：%1")
QF_WORDS(kBatchPassNumber, kInform, "", "アドレス帳の%1件目")
QF_WORDS(kMailtoBccLeftOut, kInform, "", "リンクの Bcc（%1件）は宛先に入れていません。")
QF_WORDS(kSendNoServer, kWarn, "送信エラー", "SMTPサーバーが設定されていないため、送信できませんでした。設定 → POPサーバー でSMTPサーバー名を入力してから、もう一度送信してください。")
QF_WORDS(kSendServerNotFound, kWarn, "送信エラー", "SMTPサーバー「%1」が見つかりませんでした。設定 → POPサーバー のSMTPサーバー名に誤りがないか確かめてから、もう一度送信してください。")
QF_WORDS(kSendConnectFailed, kWarn, "送信エラー", "SMTPサーバー「%1」に接続できませんでした。設定 → POPサーバー のSMTPサーバー名とポート番号、ネットワークの接続を確かめてから、もう一度送信してください。")
QF_WORDS(kSendTimedOut, kWarn, "送信エラー", "SMTPサーバー「%1」が時間内に応答しなかったため、送信できませんでした。しばらく待ってから、もう一度送信してください。")
QF_WORDS(kSendTlsUntrusted, kWarn, "送信エラー", "SMTPサーバー「%1」の証明書を信頼できないため、送信しませんでした。証明書の発行元を確認できないか、期限切れです。サーバー名が正しいか確かめ、サーバーの管理者に問い合わせてください。")
QF_WORDS(kSendTlsNameMismatch, kWarn, "送信エラー", "SMTPサーバー「%1」の証明書は別のサーバー名のものなので、送信しませんでした。設定 → POPサーバー のSMTPサーバー名が、証明書にある名前と同じか確かめてください。")
QF_WORDS(kSendTlsCaFile, kWarn, "送信エラー", "環境変数 QUILLFERN_CA_FILE の証明書ファイルを読み込めないため、送信しませんでした。ファイルがあり、PEM形式の証明書が入っているか確かめてください。")
QF_WORDS(kSendTlsFailed, kWarn, "送信エラー", "SMTPサーバー「%1」と暗号化した接続ができなかったため、送信しませんでした。設定 → POPサーバー のSMTPサーバー名とポート番号を確かめてください。")
QF_WORDS(kSendLoginRefused, kWarn, "送信エラー", "SMTPサーバー「%1」にログインできなかったため、送信できませんでした。設定 → ID/PASS のIDとパスワードを確かめてください。")
QF_WORDS(kSendXOAuth2NotOffered, kWarn, "送信エラー", "SMTPサーバー「%1」がOAuth 2.0でのログイン（XOAUTH2）を暗号化した接続で受け付けていないため、送信しませんでした。SMTPサーバーの設定を確かめてください。")
QF_WORDS(kSendTokenRefused, kWarn, "送信エラー", "SMTPサーバー「%1」がサインインを受け付けなかったため、送信できませんでした。プログラムの設定からもう一度サインインしてください。")
QF_WORDS(kSendNoRecipient, kWarn, "送信エラー", "宛先にメールアドレスがありません。宛先のメールアドレスを確かめてから、もう一度送信してください。")
QF_WORDS(kSendSenderHasControlCharacter, kWarn, "送信エラー", "送信者のメールアドレス「%1」に改行などの制御文字が含まれているため、送信しませんでした。設定 → POPサーバー のメールアドレスを確かめてください。")
QF_WORDS(kSendSenderTooLong, kWarn, "送信エラー", "送信者のメールアドレス「%1」が長すぎるため、送信しませんでした。設定 → POPサーバー のメールアドレスを確かめてください。")
QF_WORDS(kSendSenderMalformed, kWarn, "送信エラー", "送信者のメールアドレス「%1」はメールアドレスの形になっていないため、送信しませんでした。設定 → POPサーバー のメールアドレスを確かめてください。")
QF_WORDS(kSendSenderRefused, kWarn, "送信エラー", "SMTPサーバーが送信者のメールアドレス「%1」を受け付けなかったため、送信できませんでした。設定 → POPサーバー のメールアドレスを確かめてください。")
QF_WORDS(kSendRecipientHasControlCharacter, kWarn, "送信エラー", "宛先のメールアドレス「%1」に改行などの制御文字が含まれているため、送信しませんでした。宛先を確かめてから、もう一度送信してください。")
QF_WORDS(kSendRecipientTooLong, kWarn, "送信エラー", "宛先のメールアドレス「%1」が長すぎるため、送信しませんでした。宛先を確かめてから、もう一度送信してください。")
QF_WORDS(kSendRecipientMalformed, kWarn, "送信エラー", "宛先のメールアドレス「%1」はメールアドレスの形になっていないため、送信しませんでした。宛先を確かめてから、もう一度送信してください。")
QF_WORDS(kSendRecipientRefused, kWarn, "送信エラー", "SMTPサーバーが宛先のメールアドレス「%1」を受け付けなかったため、送信できませんでした。宛先のメールアドレスに誤りがないか確かめてから、もう一度送信してください。")
QF_WORDS(kSendAttachmentUnreadable, kWarn, "送信エラー", "添付ファイルを読み込めないため、送信しませんでした。添付したファイルがあり、読めるか確かめてから、もう一度送信してください。")
// ---- sign-in and where the password is kept ----
QF_WORDS(kSignInClientMissing, kWarn, "ログイン方式", "このプログラムには、このプロバイダーで使う%1が組み込まれていません。配布元に問い合わせるか、README の説明に従って iniAuth.ini に CLIENT_ID を書いてください。")
QF_WORDS(kSignInServersFilled, kInform, "ログイン方式", "サーバーの設定が空欄だったので、このプロバイダーのサーバーを設定しました: %1")
QF_WORDS(kSignInDone, kInform, "ログイン方式", "サインインしました。これからの受信と送信はこのサインインを使います。")
QF_WORDS(kSignInFailed, kWarn, "ログイン方式", "サインインできませんでした。ブラウザでの操作をやり直すか、プロバイダーの設定を確かめてください。")
QF_WORDS(kSignInNoKeyring, kInform, "ログイン方式", "このデスクトップにはパスワードなどを保管するキーリングがありません。ファイル（iniIdPass.ini、本人だけが読める）に保存するか、起動のたびに入力するかを選んでください。")
QF_WORDS(kMovePasswordToKeyring, kAsk, "ログイン方式", "パスワードが iniIdPass.ini に書かれています。キーリングに移して、ファイルからは消しますか？")
QF_WORDS(kPasswordNotMoved, kWarn, "ログイン方式", "パスワードをキーリングに移せませんでした。パスワードはファイルに残っています。")
QF_WORDS(kAuthSettingsNotWritten, kWarn, "ログイン方式", "ログイン方式の設定を保存できませんでした。フォルダーの書き込み権限と空き容量を確かめてください。")

// clang-format on
