// The account a receive run logs in with, from AccountAccess: the password
// wherever it is kept (and kept there again when the user chose to keep
// it), or, for an OAuth account, the access token with its refresh.
#pragma once

#include "auth/AccountAccess.h"
#include "receive/ReceiveRun.h"

namespace qf::receive {

// Fills the request's account, saveAccount and accessToken. `typed`, when
// it has an ID, is the ID/password window's account as typed this run and
// wins over the stored one for a password account.
// REQUIRES: `access` outlives every run of the request.
void useAccount(ReceiveRequest& request, auth::AccountAccess& access,
                const settings::Account& typed = {});

}  // namespace qf::receive
