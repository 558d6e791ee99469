// The account a receive run logs in with, from AccountAccess: the password
// wherever it is kept (and kept there again when the user chose to keep
// it), or, for an OAuth account, the access token with its refresh.
#pragma once

#include <memory>

#include "auth/AccountAccess.h"
#include "receive/ReceiveRun.h"

namespace qf::receive {

// Fills the request's account, saveAccount and accessToken. `account` is
// what a password account logs in with (the ID/password window's, or the
// stored one); an OAuth account takes only the stored ID.
// The request shares `access`, so it lives as long as the request does.
void useAccount(ReceiveRequest& request, const std::shared_ptr<auth::AccountAccess>& access,
                const settings::Account& account);

}  // namespace qf::receive
