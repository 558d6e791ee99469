// What quillfern-box prints on the terminal besides the program's messages
// (those come from words/WordList.h): QF_TERMINAL_WORDS(name, text), with
// "%1", "%2" … filled in from the context.
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

// clang-format on
