#include "receive/MailTransport.h"

#include "transport/NMail.h"

namespace qf::receive {

namespace nmail = qf::transport;

int NMailTransport::setOption(int option, int value) {
    return nmail::NMailSetOption(option, value);
}

int NMailTransport::connect(const char* server) {
    return nmail::NMailPop3Connect(server);
}

int NMailTransport::authenticate(int handle, const char* id, const char* password, int apop) {
    return nmail::NMailPop3Authenticate(handle, id, password, apop);
}

int NMailTransport::getMailStatus(int handle, int mailNumber, char* subject, char* date,
                                  char* sender, char* header) {
    return nmail::NMailPop3GetMailStatus(handle, mailNumber, subject, date, sender, header, 0);
}

int NMailTransport::getMailSize(int handle, int mailNumber) {
    return nmail::NMailPop3GetMailSize(handle, mailNumber);
}

int NMailTransport::getMail(int handle, int mailNumber, char* subject, char* date, char* sender,
                            char* header, char* body) {
    return nmail::NMailPop3GetMail(handle, mailNumber, subject, date, sender, header, body, 0, 0);
}

int NMailTransport::uniqueId(int handle, int mailNumber, char* buffer, int length) {
    return nmail::NMailPop3GetUniqueId(handle, mailNumber, buffer, length);
}

int NMailTransport::skipMail(int handle, int mailNumber) {
    return nmail::NMailPop3SkipMail(handle, mailNumber);
}

int NMailTransport::loginDelay(int handle) {
    return nmail::NMailPop3GetLoginDelay(handle);
}

int NMailTransport::deleteMail(int handle, int mailNumber) {
    return nmail::NMailPop3DeleteMail(handle, mailNumber);
}

int NMailTransport::close(int handle) {
    return nmail::NMailPop3Close(handle);
}

int NMailTransport::attachmentFileFirst(char* subject, char* date, char* sender, char* header,
                                        char* body, const char* attachmentFolder,
                                        const char* workFile, const char* mailText) {
    return nmail::NMailAttachmentFileFirst(0, subject, date, sender, header, body, attachmentFolder,
                                           workFile, mailText, 0);
}

int NMailTransport::attachmentFileClose() {
    return nmail::NMailAttachmentFileClose(0);
}

std::vector<std::string> NMailTransport::writtenAttachments() {
    return nmail::NMailWrittenAttachmentNames();
}

int NMailTransport::getMessage(char* buffer, int* length) {
    return nmail::NMailGetMessage(0, buffer, length);
}

int NMailTransport::errorCode(char* about, int length) {
    return nmail::NMailGetErrorCode(0, about, length);
}

}  // namespace qf::receive
