#include "compose/BatchMemory.h"

#include <algorithm>

namespace qf::compose {

void BatchMemory::remember(const SendReport& report) {
    forget();
    for (const PassOutcome& pass : report.passes) {
        // A pass without an address never reached the book: nothing went out
        // to anyone then, and the next send is a whole batch again.
        if (pass.recipient.empty()) {
            continue;
        }
        if (pass.result == PassResult::kRefused || pass.result == PassResult::kUnconfirmed ||
            pass.result == PassResult::kNotRun) {
            m_missed.push_back({pass.recipient, pass.result == PassResult::kUnconfirmed ||
                                                    pass.mayHaveArrivedBefore});
        }
    }
    if (!m_missed.empty()) {
        m_book = report.bookAddresses;
    }
}

BatchMemory::RetryPlan BatchMemory::planRetry(const std::vector<std::string>& bookNow) const {
    RetryPlan plan;
    plan.bookChanged = bookNow != m_book;
    for (const BatchRecipient& recipient : m_missed) {
        if (std::find(bookNow.begin(), bookNow.end(), recipient.address) != bookNow.end()) {
            plan.recipients.push_back(recipient);
        } else {
            plan.dropped.push_back(recipient.address);
        }
    }
    return plan;
}

}  // namespace qf::compose
