#include "app/TransportLibrary.h"

#include "transport/NMail.h"

namespace qf::app {

TransportLibrary::TransportLibrary() {
    transport::NMailInitializeWinSock();
    transport::NMailSetOption(transport::kOptionBufferSize, transport::kDefaultBufferSize);
}

TransportLibrary::~TransportLibrary() {
    transport::NMailEndWinSock();
}

}  // namespace qf::app
