# Decoding of fetched mail, attachments, split mail and building outgoing mail:
# qf_mime, which links GMime and no network code, so that what decodes a
# kept original (the viewer, search) does not load libcurl or OpenSSL.
list(APPEND QF_TRANSPORT_MIME_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/GMimeSupport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CharsetConversion.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Iso2022Jp.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HeaderWords.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HeaderParameters.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MailDecoder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HtmlToText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AttachmentNames.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SplitMail.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Addresses.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AddressTokens.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MailBuilder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MessagePart.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ReceivedMail.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Threading.cpp)

qf_test(transport_mime_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/CharsetConversion_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Iso2022Jp_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HeaderWords_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HeaderParameters_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MailDecoder_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HtmlToText_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/AttachmentNames_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/NMailDecode_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SplitMail_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MailBuilder_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MessagePart_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Addresses_test.cpp
  LINKS qf_transport)
