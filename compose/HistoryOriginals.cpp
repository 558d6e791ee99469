#include "compose/HistoryOriginals.h"

#include <functional>

#include "store/BoxCatalogue.h"

namespace qf::compose {

namespace {

// Equal texts give equal hashes; two different ones that collide only cost
// an extra sync.
std::size_t hashOf(const store::MailFields& texts) {
    std::size_t hash = 0;
    for (const std::string* text : {&texts.subject, &texts.fromOrTo, &texts.date, &texts.body}) {
        hash = hash * 31 + std::hash<std::string>{}(*text);
    }
    return hash;
}

}  // namespace

HistoryOriginals::HistoryOriginals(store::MailStore& store, bool batch)
    : m_originals(store.dataFolder(), store.fileSystem()),
      m_fs(store.fileSystem()),
      m_batch(batch) {}

HistoryOriginals::~HistoryOriginals() {
    // A run that ends early (a stop, an error) still leaves its originals
    // durable; a failure leaves records that work without them.
    (void)finish();
}

Status HistoryOriginals::keep(const store::MailFields& fields, std::string_view sent) {
    const store::RecordLayout& layout = store::layoutOf(store::RecordKind::kSent);
    store::MailFields texts = store::recordTextsOf(layout, fields);
    const bool twin = !m_kept.insert(hashOf(texts)).second;
    if (!m_batch || twin) {
        // A twin is kept synced even when the earlier ones failed to sync:
        // its own durable copy alone hides both originals.
        const Status synced = finish();
        const Status kept = m_originals.keep(store::kSendHistoryBox, texts, sent);
        return synced ? kept : synced;
    }
    return m_originals.keep(store::kSendHistoryBox, texts, sent, m_unsynced);
}

Status HistoryOriginals::finish() {
    return m_unsynced.empty() ? Status::ok() : m_unsynced.sync(m_fs);
}

}  // namespace qf::compose
