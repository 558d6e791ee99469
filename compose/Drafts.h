// Drafts: what is typed in a compose, reply or forward window, kept in the
// data folder's "drafts" folder until it is sent or thrown away, so that a
// crash, a kill or a power cut loses at most the last few seconds of typing.
//
// A draft file is replaced whole (base::replaceFileDurably): a crash leaves
// the old draft or the new one, never a mix. The file names its length, so a
// file that is not whole (copied in part, cut by a full disk elsewhere) is
// told from a draft and never offered as one. Draft files are the owner's
// alone (0600) in a folder of the owner's alone (0700).
//
// File: UTF-8, LF line ends:
//   Quillfern draft 1
//   kind: compose | reply | forward
//   to: …
//   subject: …
//   attachments: …
//   [attached-mail: <file name>]       only with a mail forwarded whole
//   [attached-mail-bytes: M]
//   body-bytes: N
//   <empty line>
//   <the body, exactly N bytes><the forwarded mail, exactly M bytes>
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Status.h"

namespace qf::compose {

enum class DraftKind { kCompose, kReply, kForward };

struct Draft {
    DraftKind kind = DraftKind::kCompose;
    std::string to;
    std::string subject;
    std::string attachments;  // the attachment field as typed
    std::string body;         // as typed (the window's line ends)
    // A received mail forwarded whole, as it came, and the name it goes under.
    std::string attachedMailName = {};
    std::string attachedMail = {};

    bool empty() const {
        return to.empty() && subject.empty() && attachments.empty() && body.empty() &&
               attachedMail.empty();
    }
    friend bool operator==(const Draft&, const Draft&) = default;
};

// The folder of the drafts, below the data folder.
std::filesystem::path draftFolder(const std::filesystem::path& dataFolder);

// The file's text; line breaks in the one-line fields become spaces.
std::string formatDraft(const Draft& draft);
// The draft of `text`, or kCorrupt saying what is wrong.
Result<Draft> parseDraft(std::string_view text);

// A new file name, unique to this process and moment ("draft-….txt").
std::string newDraftName();
bool isDraftName(std::string_view fileName);

// Writes `draft` as `folder`/`name`, creating the folder when missing.
Status saveDraft(const std::filesystem::path& folder, const std::string& name, const Draft& draft);

// A draft file found at start, whole or not.
struct StoredDraft {
    std::filesystem::path path;
    Result<Draft> draft;
};
// The draft files of `folder`, oldest first; none when it does not exist.
std::vector<StoredDraft> listDrafts(const std::filesystem::path& folder);

// Removes a draft and makes its removal durable. A draft that is already
// gone is fine.
Status removeDraft(const std::filesystem::path& path);

}  // namespace qf::compose
