// The mail transport functions the program calls for every network and MIME
// job: a POP3 session (with or without APOP), decoding of a fetched mail with
// its attachments and split parts, sending over SMTP, and error texts.
//
// Buffer contract (all texts are NUL-terminated CP932):
//  - subject, date, sender and header buffers are caller-owned and hold the
//    number of bytes set with NMailSetOption(1, n) (8192 unless changed);
//    every output is cut at a character boundary to fit, NUL included;
//  - the body buffer of NMailPop3GetMail holds size + 1 bytes, size being the
//    result of NMailPop3GetMailSize; the body buffer of
//    NMailAttachmentFileFirst holds at least strlen(mailText) + 1 bytes
//    (decoded text is never longer than the mail it came from, and is cut to
//    fit when it would be);
//  - a null pointer is accepted wherever the caller passes 0.
//
// Results: −1 / negative = failure, with its code in NMailGetErrorCode and
// the server's or library's text in NMailGetMessage. All
// functions run on the caller's thread and block until done or timed out.
//
// Secure connections: a server name "pop3s://…"/"smtps://…" (or port 995/465)
// speaks TLS from the start; any other name switches to TLS with STLS or
// STARTTLS when the server offers it. The server's certificate is always
// verified, against the system's CA store and, when the environment variable
// QUILLFERN_CA_FILE names a PEM file, against the CAs in it as well; a refused
// certificate is an error code naming the problem, never a fall-back to clear
// text.
#pragma once

#include <string>
#include <vector>

namespace qf::transport {

inline constexpr int kAttachmentsWritten = 1;
inline constexpr int kAttachmentCannotBeOpened = -5;
inline constexpr int kSplitMailIncomplete = -6;
inline constexpr int kOptionBufferSize = 1;
// The size of the text buffers until NMailSetOption(kOptionBufferSize, n).
inline constexpr int kDefaultBufferSize = 8192;
// Capacity in bytes of the body buffer of NMailAttachmentFileFirst when it is
// larger than strlen(mailText) + 1 (0, the default: exactly that). A split
// mail completed by its last part decodes to more than that part's text.
inline constexpr int kOptionBodyBufferSize = 2;
// Time limits in seconds (0 = none) for the sessions and sends started
// afterwards: connecting (TCP, TLS, greeting; default 30), the wait for the
// reply to one command (default 60), a transfer that stalls (default 60).
inline constexpr int kOptionConnectTimeout = 101;
inline constexpr int kOptionReplyTimeout = 102;
inline constexpr int kOptionStallTimeout = 103;

int NMailInitializeWinSock();
int NMailSetOption(int option, int value);
int NMailEndWinSock();

// A session handle, or −1 when the server cannot be reached or does not greet.
int NMailPop3Connect(const char* server);
// > 0: number of waiting mails; 0: none; < 0: failure. apop: −1 = APOP, 0 = plain,
// kLoginXOAuth2 = AUTH XOAUTH2 with `password` as the OAuth access token.
inline constexpr int kLoginXOAuth2 = 2;
int NMailPop3Authenticate(int handle, const char* id, const char* password, int apop);
int NMailPop3GetMailStatus(int handle, int mailNumber, char* subject, char* date, char* sender,
                           char* header, int flag);
// Size of the mail in bytes, or negative on failure.
int NMailPop3GetMailSize(int handle, int mailNumber);
// Fills the four text buffers (decoded subject, date, sender; the raw header)
// and the body buffer with the raw body.
int NMailPop3GetMail(int handle, int mailNumber, char* subject, char* date, char* sender,
                     char* header, char* body, int flag1, int flag2);
// Copies the server's unique id of the mail (UIDL, at most 70 ASCII
// characters) into buffer, NUL-terminated, cut to length bytes. 1: copied;
// 0: the server offers no UIDL (buffer empty); negative: failure.
int NMailPop3GetUniqueId(int handle, int mailNumber, char* buffer, int length);
// Tells the session the caller will not fetch the mail (it is left on the
// server), so no RETR is sent ahead for it. 1: noted; negative: failure.
int NMailPop3SkipMail(int handle, int mailNumber);
// The least number of seconds the server wants between two logins
// (LOGIN-DELAY), known after the connect and, for a delay per user, after
// the login; 0 when it names none; negative for an unknown handle.
int NMailPop3GetLoginDelay(int handle);
// Marks the mail; it is removed from the server only when NMailPop3Close
// ends the session normally.
int NMailPop3DeleteMail(int handle, int mailNumber);
// Sends the marked deletions, then QUIT, and releases the handle.
int NMailPop3Close(int handle);

// Decodes mailText into the five buffers and writes its attachments into
// attachmentFolder (a path ending in "\" or "/"). 1: attachments written;
// −5: an attachment could not be written (the others were); −6: a part of a
// split mail was kept until the rest arrives; 0: no attachments. A mail
// beyond what one mail may write (TransportFault.h) is written whole as one
// file instead: 1, and NMailGetErrorCode names the limit and the file.
int NMailAttachmentFileFirst(int flag, char* subject, char* date, char* sender, char* header,
                             char* body, const char* attachmentFolder, const char* workFile,
                             const char* mailText, int flag2);
int NMailAttachmentFileClose(int flag);

// Sends one mail. to: one address or several separated by ","; attachments:
// file paths separated by ",". Negative on failure; kSendUnconfirmed when the
// whole mail went to the server and no reply followed (the connection
// dropped, or the reply did not come within the reply limit): the server may
// have the mail, and sending it again may deliver it twice.
inline constexpr int kSendUnconfirmed = -7;
int NMailSmtpSendMail(const char* server, const char* to, const char* cc, const char* bcc,
                      const char* from, const char* subject, const char* body, const char* header,
                      const char* attachments, int flag);

// Credentials for SMTP AUTH (the POP3 account's); used only when the server
// asks for authentication. NMailSetSmtpOAuth: AUTH XOAUTH2 with the access
// token instead, over TLS only; a later NMailSetSmtpAuth replaces it.
int NMailSetSmtpAuth(const char* id, const char* password);
int NMailSetSmtpOAuth(const char* id, const char* accessToken);

// Copies the diagnostic of the last error into buffer, cut to *length bytes:
// the server's reply, libcurl's or the system's text, a refused address
// (never a sentence of its own; the caller words the code). Control
// characters are shown escaped, and the text is cut to 300 characters.
int NMailGetMessage(int flag, char* buffer, int* length);

// The code of the last error (a TransportFault, TransportFault.h; it stays
// until another call fails; NMailAttachmentFileFirst starts from 0, and sets
// a notice code when it kept a mail whole), and in `about` (may be null; cut
// to `length` bytes, printable like the message) what it concerns: a
// refused address, the recipient text without an address, the file a mail
// was kept whole as.
int NMailGetErrorCode(int flag, char* about, int length);

}  // namespace qf::transport
