#include "receive/ReceiveAccount.h"

namespace qf::receive {

void useAccount(ReceiveRequest& request, const std::shared_ptr<auth::AccountAccess>& access,
                const settings::Account& account) {
    if (access->isOAuth()) {
        request.account = {access->account().account.id, {}};
        request.accessToken = [access](bool refused) { return access->accessToken(refused); };
        return;
    }
    request.account = account;
    request.saveAccount = [access](const settings::Account& kept) { return access->keep(kept); };
}

}  // namespace qf::receive
