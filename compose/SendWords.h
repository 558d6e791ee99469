// What the user is told about a send that failed, in the compose and the
// reply window alike: the row of the program's word list (ui/WordList.h)
// the failure's code chooses, with the server or address it names and the
// transport's own text in brackets.
#pragma once

#include <string>
#include <vector>

#include "compose/SendPass.h"
#include "words/Words.h"

namespace qf::compose {

// `smtpServer`: the SMTP setting the send used.
ui::Message sendFailureMessage(const SendFailure& failure, const std::string& smtpServer);

// Addresses as a sentence lists them: "a@example.jp、b@example.jp".
std::string joinedAddresses(const std::vector<std::string>& addresses);

// The status line after a batch that did not reach everyone: how many of
// how many went out, were refused, may have arrived or were skipped, and
// whom it could not reach.
std::string batchSummary(const SendReport& report);

}  // namespace qf::compose
