// The transport calls the receive run makes, behind one small interface so a
// test can replace the server side (a broken fetch, a -5 or -6 result). The
// arguments, buffers and results are those of transport/NMail.h.
#pragma once

#include <string>
#include <vector>

namespace qf::receive {

class MailTransport {
  public:
    virtual ~MailTransport() = default;
    virtual int setOption(int option, int value) = 0;
    virtual int connect(const char* server) = 0;
    virtual int authenticate(int handle, const char* id, const char* password, int apop) = 0;
    virtual int getMailStatus(int handle, int mailNumber, char* subject, char* date, char* sender,
                              char* header) = 0;
    virtual int getMailSize(int handle, int mailNumber) = 0;
    virtual int getMail(int handle, int mailNumber, char* subject, char* date, char* sender,
                        char* header, char* body) = 0;
    // NMailPop3GetUniqueId; by default the server offers no UIDL.
    virtual int uniqueId(int /*handle*/, int /*mailNumber*/, char* buffer, int /*length*/) {
        buffer[0] = '\0';
        return 0;
    }
    // NMailPop3SkipMail: the mail will not be fetched; by default a no-op.
    virtual int skipMail(int /*handle*/, int /*mailNumber*/) { return 0; }
    // NMailPop3GetLoginDelay; by default the server names no delay.
    virtual int loginDelay(int /*handle*/) { return 0; }
    virtual int deleteMail(int handle, int mailNumber) = 0;
    virtual int close(int handle) = 0;
    virtual int attachmentFileFirst(char* subject, char* date, char* sender, char* header,
                                    char* body, const char* attachmentFolder, const char* workFile,
                                    const char* mailText) = 0;
    virtual int attachmentFileClose() = 0;
    // The files the last attachmentFileFirst wrote; by default none.
    virtual std::vector<std::string> writtenAttachments() { return {}; }
    virtual int getMessage(char* buffer, int* length) = 0;
    // NMailGetErrorCode; by default no code (the failure is worded generally).
    virtual int errorCode(char* about, int length) {
        if (about && length > 0) {
            about[0] = '\0';
        }
        return 0;
    }
};

// The real transport: the NMail functions.
class NMailTransport final : public MailTransport {
  public:
    int setOption(int option, int value) override;
    int connect(const char* server) override;
    int authenticate(int handle, const char* id, const char* password, int apop) override;
    int getMailStatus(int handle, int mailNumber, char* subject, char* date, char* sender,
                      char* header) override;
    int getMailSize(int handle, int mailNumber) override;
    int getMail(int handle, int mailNumber, char* subject, char* date, char* sender, char* header,
                char* body) override;
    int uniqueId(int handle, int mailNumber, char* buffer, int length) override;
    int skipMail(int handle, int mailNumber) override;
    int loginDelay(int handle) override;
    int deleteMail(int handle, int mailNumber) override;
    int close(int handle) override;
    int attachmentFileFirst(char* subject, char* date, char* sender, char* header, char* body,
                            const char* attachmentFolder, const char* workFile,
                            const char* mailText) override;
    int attachmentFileClose() override;
    std::vector<std::string> writtenAttachments() override;
    int getMessage(char* buffer, int* length) override;
    int errorCode(char* about, int length) override;
};

}  // namespace qf::receive
