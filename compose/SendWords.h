// What the user is told about a send that failed, in the compose and the
// reply window alike: the row of the program's word list (ui/WordList.h)
// the failure's code chooses, with the server or address it names and the
// transport's own text in brackets.
#pragma once

#include <string>

#include "compose/SendPass.h"
#include "words/Words.h"

namespace qf::compose {

// `smtpServer`: the SMTP setting the send used.
ui::Message sendFailureMessage(const SendFailure& failure, const std::string& smtpServer);

}  // namespace qf::compose
