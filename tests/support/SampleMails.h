// Sample mails more than one test reads.
#pragma once

namespace qf::testing {

// A mail whose subject and body hold what CP932 lacks (😊, 𠮷, é, 🍻), made
// by Python's email library (EmailMessage, set_content, linesep CR LF). Its
// record, as the receive stores it, holds "?" for each.
inline constexpr char kMailBeyondCp932[] =
    "Subject: =?utf-8?b?5LuK5pel44Gu44Op44Oz44OB8J+Yig==?=\r\nFrom: a@example.jp\r\n"
    "To: qftest@example.jp\r\nDate: Tue, 08 Dec 2026 10:00:00 +0900\r\n"
    "Content-Type: text/plain; charset=\"utf-8\"\r\n"
    "Content-Transfer-Encoding: 8bit\r\nMIME-Version: 1.0\r\n\r\n"
    "𠮷野家でcafé🍻\r\n";
inline constexpr char kSubjectBeyondCp932Kept[] = "今日のランチ?";
inline constexpr char kBodyBeyondCp932Kept[] = "?野家でcaf??";

}  // namespace qf::testing
