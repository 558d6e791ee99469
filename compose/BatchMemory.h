// What a batch send leaves for the next one: the recipients it did not reach
// for sure, by address, and the address book it went by.
//
// A retry goes to exactly these addresses, whatever the record numbers of
// the address book are by then: deleting an entry shifts every later record,
// so a remembered record number may name someone who already has the mail.
// When the address book changed since, the retry keeps only the missed
// recipients still in it, and the window asks again before it goes.
#pragma once

#include <string>
#include <vector>

#include "compose/SendPass.h"

namespace qf::compose {

class BatchMemory {
  public:
    struct RetryPlan {
        std::vector<BatchRecipient> recipients;  // missed and still in the book
        std::vector<std::string> dropped;        // missed and no longer in the book
        bool bookChanged = false;                // the book differs from the batch's
    };

    // After a batch: the passes it refused or could not confirm, and the
    // address book it read. Forgets everything when each pass went out.
    void remember(const SendReport& report);
    void forget() { *this = BatchMemory(); }

    bool holdsMissed() const { return !m_missed.empty(); }
    const std::vector<BatchRecipient>& missed() const { return m_missed; }

    // What a retry does with the address book as it reads now (its
    // addresses in record order).
    RetryPlan planRetry(const std::vector<std::string>& bookNow) const;

  private:
    std::vector<BatchRecipient> m_missed;
    std::vector<std::string> m_book;
};

}  // namespace qf::compose
