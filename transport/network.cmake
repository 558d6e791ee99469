# The network half of qf_transport: server addresses, the POP3 session, SMTP
# sending, the NMail entry points (decoding too: it reports through the
# session's last error) and the caller-buffer contract.
list(APPEND QF_TRANSPORT_NETWORK_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/ServerAddress.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ConnectionTerms.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CurlConnection.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MailSocket.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Pop3Session.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Pop3Replies.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Pop3Lines.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Pop3Mailbox.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EnvelopeGate.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SmtpSender.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SmtpSubmission.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BufferContract.cpp
  ${CMAKE_CURRENT_LIST_DIR}/NMailSession.cpp
  ${CMAKE_CURRENT_LIST_DIR}/NMailDecode.cpp)

qf_test(transport_network_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/ServerAddress_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/BufferContract_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/EnvelopeGate_test.cpp
  LINKS qf_transport)
qf_test(transport_pop3_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/NMailPop3_test.cpp
  LINKS qf_transport qf_test_support
  FIXTURES mailservers)
qf_test(transport_pop3_faults_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/Pop3Faults_test.cpp
  LINKS qf_transport qf_test_support
  TIMEOUT 120)
qf_test(transport_smtp_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/NMailSmtp_test.cpp
  LINKS qf_transport qf_test_support
  FIXTURES mailservers
  ENVIRONMENT QF_MAILSERVERS_SCRIPT=${PROJECT_SOURCE_DIR}/tests/servers/mailservers.py)
qf_test(transport_tls_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/NMailTls_test.cpp
  LINKS qf_transport qf_test_support
  FIXTURES mailservers_tls
  ENVIRONMENT QF_MAILSERVERS_ENV=${CMAKE_BINARY_DIR}/mailservers-tls.env
              QF_MAILSERVERS_SCRIPT=${PROJECT_SOURCE_DIR}/tests/servers/mailservers.py)
if(QF_BUILD_TESTS)
  set_tests_properties(transport_pop3_test transport_smtp_test PROPERTIES RESOURCE_LOCK mailserver_maildir)
endif()
