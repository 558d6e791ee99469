#include "receive/ReceivedOriginal.h"

#include "store/BoxCatalogue.h"

namespace qf::receive {

std::string receivedOriginalName(int box, std::span<const char> record) {
    const store::BoxInfo* info = store::findBox(box);
    if (info == nullptr) {
        return {};
    }
    return store::originalName(store::decodeRecord(store::layoutOf(info->kind), record));
}

Status keepOriginalOf(store::MailStore& store, int box, const std::string& name,
                      std::string_view original, store::UnsyncedOriginals& later) {
    if (name.empty()) {
        return Status::ok();
    }
    return store::Originals(store.dataFolder(), store.fileSystem())
        .keepNamed(box, name, original, later);
}

}  // namespace qf::receive
