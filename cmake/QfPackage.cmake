# The Debian package: `cpack -G DEB` in a build configured with the
# `package` preset (release, prefix /usr). dpkg-shlibdeps computes the
# packages the binaries and the web view module need (Qt WebEngine's helper
# process among them, which Qt WebEngine's own symbols file names).
set(CPACK_PACKAGE_NAME quillfern)
set(CPACK_PACKAGE_VENDOR "Quillfern developers")
set(CPACK_PACKAGE_CONTACT "Quillfern developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Japanese e-mail client for one POP3 account")
set(CPACK_PACKAGE_DESCRIPTION
  "Quillfern fetches the mail of one POP3 account (optionally with APOP), sorts\n"
  "new mail into boxes by sender and keeps every mail on the user's disk. It\n"
  "reads, keeps, deletes and replies to mail, sends over SMTP, and has an\n"
  "address book, a send history and an attachment browser.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The private module's folder, so that shlibdeps reads its libraries too.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/attachments)
# Japanese text, Qt's own texts in Japanese, certificates for TLS, and a
# browser opener for the program's page.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk, fonts-noto-color-emoji, qt6-translations-l10n, ca-certificates, xdg-utils")
set(CPACK_STRIP_FILES ON)
include(CPack)
