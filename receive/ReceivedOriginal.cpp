#include "receive/ReceivedOriginal.h"

#include "store/BoxCatalogue.h"

namespace qf::receive {

Status keepOriginalOf(store::MailStore& store, int box, const store::MailFields& cp932Fields,
                      std::string_view original, store::UnsyncedOriginals& later) {
    const store::BoxInfo* info = store::findBox(box);
    if (info == nullptr) {
        return Status::ok();
    }
    const store::MailFields texts =
        store::recordTextsOfCp932(store::layoutOf(info->kind), cp932Fields);
    return store::Originals(store.dataFolder(), store.fileSystem())
        .keep(box, texts, original, later);
}

}  // namespace qf::receive
