// From fields built to make a reply go to someone else, and where a reply to
// each must go. Most break on the way into a CP932 record, where ¥ (U+00A5)
// becomes a backslash that escapes the quote after it and ‾ (U+203E) becomes
// "~"; others on a From field too long for the record, or on readers that
// part from each other. Shared by the receive-and-reply test of the windows
// and the cross-check of the stored text against Python's reader.
//
// The rows up to the raw 8-bit ones are what Python's
// email.utils.formataddr((name, address), charset="utf-8") writes, but for
// the one marked; the ISO-2022-JP and Shift_JIS words, the raw 8-bit rows and
// the rest are hand-made, as no mail program writes those names.
#pragma once

#include <string>
#include <vector>

namespace qf::testing {

struct HostileSender {
    std::string from;                  // the From field's value, as it travels
    std::vector<std::string> replyTo;  // the RCPTs of a reply; empty: refused, none sent
};

inline const std::vector<HostileSender>& hostileSenders() {
    static const std::vector<HostileSender> rows = {
        // a¥", evil20@evil.example, "b
        {"=?utf-8?b?YcKlIiwgZXZpbDIwQGV2aWwuZXhhbXBsZSwgImI=?= <victim20@example.jp>",
         {"victim20@example.jp"}},
        {"=?utf-8?b?wqU=?= <victim21@example.jp>", {"victim21@example.jp"}},  // ¥
        // evil25@evil.example, x¥
        {"=?utf-8?b?ZXZpbDI1QGV2aWwuZXhhbXBsZSwgeMKl?= <victim25@example.jp>",
         {"victim25@example.jp"}},
        // "\r\nRCPT TO:<evil10@evil.example>\r\n"@example.jp (hand-made: formataddr
        // leaves its line breaks raw in a quoted string)
        {"=?utf-8?b?Ig0KUkNQVCBUTzo8ZXZpbDEwQGV2aWwuZXhhbXBsZT4NCiJAZXhhbXBsZS5qcA==?= "
         "<victim12@example.jp>",
         {"victim12@example.jp"}},
        // ‾", evil26@evil.example, "‾
        {"=?utf-8?b?4oC+IiwgZXZpbDI2QGV2aWwuZXhhbXBsZSwgIuKAvg==?= <victim26@example.jp>",
         {"victim26@example.jp"}},
        // x¥) evil29@evil.example (
        {"=?utf-8?b?eMKlKSBldmlsMjlAZXZpbC5leGFtcGxlICg=?= <victim29@example.jp>",
         {"victim29@example.jp"}},
        {"\"<evil41@evil.example>\" <victim41@example.jp>", {"victim41@example.jp"}},
        // a¥" <evil42@evil.example> "
        {"=?utf-8?b?YcKlIiA8ZXZpbDQyQGV2aWwuZXhhbXBsZT4gIg==?= <victim42@example.jp>",
         {"victim42@example.jp"}},
        {"\"a\\\\\\\", evil44@evil.example, \\\"b\" <victim44@example.jp>",
         {"victim44@example.jp"}},
        // "x¥"@example.jp
        {"=?utf-8?b?InjCpSJAZXhhbXBsZS5qcA==?= <victim46@example.jp>", {"victim46@example.jp"}},
        {"=?utf-8?b?wqXCpcKl?= <victim47@example.jp>", {"victim47@example.jp"}},      // ¥¥¥
        {"=?utf-8?b?55Sw5LitwqU=?= <victim48@example.jp>", {"victim48@example.jp"}},  // 田中¥
        // Raw UTF-8 names and comments.
        {"\"a\xC2\xA5\" <victim27@example.jp>", {"victim27@example.jp"}},
        {"\"x\xC2\xA5\", evil28@evil.example <victim28@example.jp>", {"victim28@example.jp"}},
        {"victim30@example.jp (x\xC2\xA5)", {"victim30@example.jp"}},
        {"\"=?UTF-8?B?wqU=?=\" <victim31@example.jp>", {"victim31@example.jp"}},
        // ¥", evil32@evil.example, " in JIS X 0201 Roman, whose 0x5C is ¥.
        {"=?iso-2022-jp?b?GyhKXCIsIGV2aWwzMkBldmlsLmV4YW1wbGUsICIbKEI=?= <victim32@example.jp>",
         {"victim32@example.jp"}},
        // ¥", evil33@evil.example, "x in Shift_JIS, whose 0x5C is ¥ too.
        {"=?shift_jis?b?XCIsIGV2aWwzM0BldmlsLmV4YW1wbGUsICJ4?= <victim33@example.jp>",
         {"victim33@example.jp"}},
        {"\"\x95\x5C\", evil49@evil.example <victim49@example.jp>", {"victim49@example.jp"}},
        // Longer than the record's 90-byte From field.
        {"victim34@example.jp, " + std::string(60, 'a') + "@evil.example", {"victim34@example.jp"}},
        {std::string(80, 'N') + " <victim35@example.jp>", {"victim35@example.jp"}},
        {"<" + std::string(80, 'b') + "@evil.example>", {}},
        // Addresses CP932 cannot hold: stored as names, answered by nobody.
        {"<victim\xE2\x80\xBE"
         "36@example.jp>",
         {}},
        {"<victim\xF0\x9F\x98\x80"
         "37@example.jp>",
         {}},
        {"<\"\r\n RCPT TO:<evil45@evil.example>\r\n \"@example.jp>", {}},
        // The sender's own quoted local part, and a group.
        {"\"evil39@evil.example, x\"@example.jp", {"\"evil39@evil.example, x\"@example.jp"}},
        {"undisclosed: victim40@example.jp;", {"victim40@example.jp"}},
        {"victim50@example.jp, =?utf-8?b?wqU=?= <victim51@example.jp>",
         {"victim50@example.jp", "victim51@example.jp"}},
    };
    return rows;
}

}  // namespace qf::testing
