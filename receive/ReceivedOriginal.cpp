#include "receive/ReceivedOriginal.h"

#include "store/BoxCatalogue.h"

namespace qf::receive {

Status keepOriginalOf(store::MailStore& store, int box, std::span<const char> record,
                      std::string_view original, store::UnsyncedOriginals& later) {
    const store::BoxInfo* info = store::findBox(box);
    if (info == nullptr) {
        return Status::ok();
    }
    const store::MailFields texts = store::decodeRecord(store::layoutOf(info->kind), record);
    return store::Originals(store.dataFolder(), store.fileSystem())
        .keep(box, texts, original, later);
}

}  // namespace qf::receive
