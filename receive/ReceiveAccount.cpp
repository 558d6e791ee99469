#include "receive/ReceiveAccount.h"

namespace qf::receive {

void useAccount(ReceiveRequest& request, auth::AccountAccess& access,
                const settings::Account& typed) {
    if (access.isOAuth()) {
        request.account = {access.account().account.id, {}};
        request.accessToken = [&access](bool refused) { return access.accessToken(refused); };
        return;
    }
    request.account = typed.id.empty() ? access.account().account : typed;
    request.saveAccount = [&access](const settings::Account& account) {
        return access.keep(account);
    };
}

}  // namespace qf::receive
