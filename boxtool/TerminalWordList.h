// What quillfern-box prints on the terminal besides the program's messages
// (those come from words/WordList.h): QF_TERMINAL_WORDS(name, text), with
// "%1", "%2" … filled in from the context. The columns of list and search
// and the field names of show are read by scripts and stay in the code.
//
// No include guard: TerminalWords.h and TerminalWords.cpp include this list
// to expand it. One text a line, so that adding one is adding a line.
// clang-format off

// ---- receive ----
QF_TERMINAL_WORDS(kReceiving, "受信中… %1/%2")
QF_TERMINAL_WORDS(kUnnamedBox, "箱%1")
QF_TERMINAL_WORDS(kReceivedCount, "受信 %1 通")
QF_TERMINAL_WORDS(kReceivedInBox, "、%1 %2")
QF_TERMINAL_WORDS(kKeptOnServerCount, "、サーバーに残したメール %1 通")
QF_TERMINAL_WORDS(kLeftOnServerCount, "、受信済みでサーバーに残すメール %1 通")
QF_TERMINAL_WORDS(kDeletedAfterDaysCount, "、期限が過ぎてサーバーから削除したメール %1 通")

// ---- the command line ----
QF_TERMINAL_WORDS(kUsage, R"(Usage: quillfern-box [--folder PROGRAM_FOLDER] COMMAND

Reads and repairs the mail boxes of a Quillfern program folder.

Commands:
  list BOX                  one line per record: N, Subject, From (To for the
                            send history) and Date, separated by tabs
  show BOX N                the fields and the body of record N (where the
                            mail's original is kept: its texts as written)
  original BOX N            record N's mail as it came, on standard output
                            (exit status 1 when its original is not kept)
  delete BOX N              deletes record N and compacts the box; exits 7
                            when the record is deleted but the folder could
                            not be synced (a power cut may bring the record
                            back): do not delete again
  check                     checks every box and the address book (lengths,
                            status words, leftover temporary files); exits 1
                            when it finds a problem
  export BOX --mbox FILE [--force]
                            writes the box to FILE as an mbox (mboxrd); an
                            existing FILE is replaced only with --force
  search TEXT [--box BOX] [--exact]
                            the mails whose subject, sender, date or body
                            holds TEXT, one line each: BOX, N, Subject, From
                            (To for the send history) and Date, separated by
                            tabs; every box, or BOX only. Full- and half-width
                            forms, upper and lower case and the NEC and IBM
                            codes of a character are the same; --exact finds
                            TEXT's bytes in CP932 only. A box that could not
                            be searched to its end is named on stderr and the
                            exit status is 1
  recover                   repairs what an interrupted write or compaction
                            left (as the program does at start-up) and says
                            where any mail that was set aside now is
  receive [--lost-seen-list fetch-all|mark-seen]
                            fetches the waiting mail into the boxes, as the
                            program's Receive button does, with the folder's
                            corvid.ini, account and sorting registrations;
                            refused while the program runs on the folder.
                            Exit status: 0 every mail stored, 1 folder busy,
                            3 no POP3 server or it cannot be reached, 4 no ID
                            or password or the login refused, 5 some mail
                            could not be fetched or stored, or the server
                            did not confirm the deletions (the mail stays on
                            the server), 6 mail is left on the server
                            (corvid.ini KEEP=1) but its list of the mails
                            already stored is missing or damaged: nothing
                            was fetched, 7 every mail stored but that list
                            could not be written (the next receive stores
                            none twice). Then --lost-seen-list fetch-all
                            fetches every mail on the server again, and
                            --lost-seen-list mark-seen takes the mails now
                            on the server as stored

BOX is a box number: 1-5 the named boxes, 6 "その他", 10 the keep box,
11 the send history.

The program folder is, in this order: the --folder argument, the
QUILLFERN_FOLDER environment variable, the folder the installed program
keeps mail in ($XDG_DATA_HOME/Quillfern, ~/.local/share/Quillfern), or,
for a program not installed, the folder of this executable. The boxes are
in its "★MAilData" folder.

list, show, check, export and search change no box. delete, recover and receive
are refused while the program or another of these commands works on the
folder. Exit status: 0 done, 1 failed or a problem found, 2 bad arguments,
7 done but not yet durable.
)")
QF_TERMINAL_WORDS(kReceiveUsage, "usage: quillfern-box-receive --folder PROGRAM_FOLDER [--lost-seen-list fetch-all|mark-seen]")
QF_TERMINAL_WORDS(kNoSuchBox, "箱「%1」はありません（箱は 1〜6、10、11 です）。")
QF_TERMINAL_WORDS(kNotARecordNumber, "「%1」はメールの番号ではありません。")
QF_TERMINAL_WORDS(kOptionNeedsValue, "%1 には値を付けてください。")
QF_TERMINAL_WORDS(kUnknownOption, "%1 というオプションはありません。")
QF_TERMINAL_WORDS(kNoCommand, "コマンドがありません。")
QF_TERMINAL_WORDS(kUnknownCommand, "「%1」というコマンドはありません。")
QF_TERMINAL_WORDS(kExportOptionsElsewhere, "--mbox と --force は export のオプションです。")
QF_TERMINAL_WORDS(kSearchOptionsElsewhere, "--box と --exact は search のオプションです。")
QF_TERMINAL_WORDS(kSeenListOptionElsewhere, "--lost-seen-list は receive のオプションで、値は fetch-all か mark-seen です。")
QF_TERMINAL_WORDS(kTakesNoOperands, "%1 には何も付けません。")
QF_TERMINAL_WORDS(kNeedsOneBox, "%1 には箱の番号（BOX）を一つ付けてください。")
QF_TERMINAL_WORDS(kExportNeedsMbox, "export には --mbox FILE を付けてください。")
QF_TERMINAL_WORDS(kNeedsBoxAndRecord, "%1 には箱の番号（BOX）とメールの番号（N）を付けてください。")
QF_TERMINAL_WORDS(kSearchNeedsText, "search には探す文字（TEXT）を一つ付けてください。")
QF_TERMINAL_WORDS(kNoCp932, "文字コード CP932 の変換が使えないため、実行できません。iconv（Debian のパッケージ libc-bin）の CP932 変換が使えるか確かめてください。")
QF_TERMINAL_WORDS(kCannotStart, "%1 を起動できませんでした。quillfern-box と同じフォルダにあり、実行できるか確かめてください。")

// ---- the commands: a failure says what failed and what to do next, as the
// program's windows do (words/WordList.h); the system's own text follows it
// in brackets, the program's diagnostics never ----
QF_TERMINAL_WORDS(kNoProgramFolder, "プログラムのフォルダが見つかりません。--folder か QUILLFERN_FOLDER でフォルダを指定してください。")
QF_TERMINAL_WORDS(kNoDataFolder, "メールボックスのフォルダ %1 がありません。--folder か QUILLFERN_FOLDER の指すフォルダが正しいか確かめてください。")
QF_TERMINAL_WORDS(kNoBox, "箱 %1 はありません（箱は 1〜6、10、11 です）。")
QF_TERMINAL_WORDS(kNoRecord, "箱 %1 に %2 番のメールはありません。")
QF_TERMINAL_WORDS(kNoOriginal, "箱 %2 の %1 番のメールは、受信したときの形で保存されていません。")
QF_TERMINAL_WORDS(kBoxNotRead, "箱 %1 のメールボックスを最後まで読めませんでした。「★MAilData」フォルダのファイルを読めるか確かめてください。")
QF_TERMINAL_WORDS(kMailNotRead, "箱 %1 の %2 番のメールを読み込めませんでした。メールボックスのファイルが壊れているかもしれません。quillfern-box check で確かめてください。")
QF_TERMINAL_WORDS(kOriginalNotRead, "箱 %1 の %2 番のメールの、受信したときの形を読み込めませんでした。「★MAilData」フォルダを読めるか確かめてください。")
QF_TERMINAL_WORDS(kMailNotDeleted, "箱 %1 の %2 番のメールを削除できませんでした。ディスクの空きと「★MAilData」フォルダに書き込めるかを確かめてから、もう一度お試しください。")
QF_TERMINAL_WORDS(kExportFileExists, "%1 は既にあります。置き換えるときは --force を付けてください。")
QF_TERMINAL_WORDS(kExportFailed, "箱 %1 を %2 に書き出せませんでした。書き出し先に書き込めるかとディスクの空きを確かめてください。")
QF_TERMINAL_WORDS(kSearchFailed, "検索できませんでした。「★MAilData」フォルダのメールボックスのファイルを読めるか確かめてから、もう一度検索してください。")
QF_TERMINAL_WORDS(kSearchBoxTornEnd, "箱 %1 のファイルは末尾の %2 バイトが壊れているため、その手前まで検索しました。")
QF_TERMINAL_WORDS(kSearchBoxNotReadToEnd, "箱 %1 を最後まで読めなかったため、読めたところまで検索しました。")
QF_TERMINAL_WORDS(kNotRecovered, "メールボックスのファイルを修復できませんでした。ディスクの空きと「★MAilData」フォルダに書き込めるかを確かめてください。修復できなかったファイルは、そのままにしてあります。")
QF_TERMINAL_WORDS(kDeleted, "箱 %2 の %1 番のメールを削除しました")
QF_TERMINAL_WORDS(kRecordsRemain, "（残り %1 通）")
QF_TERMINAL_WORDS(kDeletedNotDurable, "削除しましたが、ディスクへの書き込みを確定できませんでした。停電などがあると、削除したメールが戻ることがあります。もう一度削除しないでください（別のメールが削除されます）。ディスクと「★MAilData」フォルダを確かめてください。")
QF_TERMINAL_WORDS(kExported, "箱 %1 を %2 に書き出しました。")
QF_TERMINAL_WORDS(kFileShape, "%1 通、%2 バイト")
QF_TERMINAL_WORDS(kFileAbsent, "なし（空）")
QF_TERMINAL_WORDS(kFileProblem, "  問題: %1")
QF_TERMINAL_WORDS(kProblemTornTail, "末尾に、書き込みの途中で切れたレコード（%1 バイト、%2 番のメールの後）があります。")
QF_TERMINAL_WORDS(kProblemTooManyRecords, "メールが %1 通あり、上限の %2 通を超えています。")
QF_TERMINAL_WORDS(kProblemMarkedDeleted, "%1 番のメールに削除の印が付いています（途中で終わった削除）。")
QF_TERMINAL_WORDS(kProblemNoLineEnd, "%1 番のメールの末尾に CR LF がありません。")
QF_TERMINAL_WORDS(kProblemUnknownStatusWord, "%1 番のメールの状態の値は、使われているメールにない値です。メールはそのまま読み、そのまま残します。")
QF_TERMINAL_WORDS(kProblemRedundantTemporary, "中断した整理で残った一時ファイル %1 があります（中のメールはすべて箱にあります）。")
QF_TERMINAL_WORDS(kProblemTemporaryWithMail, "中断した整理で残った一時ファイル %1 があります（箱にないメールを含みます）。")
QF_TERMINAL_WORDS(kProblemUnreadable, "ファイルを読めないため、確かめられませんでした。ファイルを読めるか確かめてください。")
QF_TERMINAL_WORDS(kMoreRecords, "%1 ほか %2 通")
QF_TERMINAL_WORDS(kSetAsideTornEnd, "  退避したファイル: %1（書き込みの途中で切れた末尾を recover が移したものです。メールは含まれていないので、削除してかまいません。受信の途中で切れたメールはサーバーに残してあります）")
QF_TERMINAL_WORDS(kSetAsideKept, "  退避したファイル: %1（中断した整理の一時ファイルで、箱にないメールを含むか壊れたレコードがあったため、recover が残したものです。中のメールが無事と分かるまで削除しないでください）")
QF_TERMINAL_WORDS(kLeftoverTemporary, "  問題: 書き込みの途中で残った一時ファイル %1 があります（隣のファイルは書き込み前のまま残っています）。")
QF_TERMINAL_WORDS(kSameMailInBothBoxes, "  注意: 箱 %2 の %1 番と箱 %4 の %3 番は同じメールです（保管箱への移動が途中で終わると、両方に残ります）。二通とも要るのでなければ、どちらかを削除してください。")
QF_TERMINAL_WORDS(kNoProblems, "問題は見つかりませんでした。")
QF_TERMINAL_WORDS(kProblemsFound, "問題が %1 件見つかりました。quillfern-box recover は、途中で切れたレコードと残った一時ファイルを別の名前で退避し、中断した削除をメールを失わずに完了し、設定とテキスト保存で残った一時ファイルを削除します（CR LF のないレコードと、状態の値が使われているメールにないレコードは、そのまま読み、そのまま残します）。")
QF_TERMINAL_WORDS(kNothingToRecover, "修復するものはありませんでした。")

// clang-format on
