#!/usr/bin/python3
"""Fetches every waiting mail over POP3, decodes it with the email package and
prints it for a test to compare with what was sent; the mails are deleted.

  fetch_decoded.py HOST PORT USER PASSWORD

Output, one mail after another (values hex-encoded UTF-8, one per line):
  mail
  to <hex>
  subject <hex>
  body <hex>          the text part, line ends as LF
  attachment <hex name> <hex content bytes>
  end
"""
import email
import email.policy
import poplib
import sys


def hexed(text):
    return (text if isinstance(text, bytes) else text.encode("utf-8")).hex()


def describe(message):
    print("mail")
    print("to", hexed(str(message.get("To", ""))))
    print("subject", hexed(str(message.get("Subject", ""))))
    body = message.get_body(preferencelist=("plain",))
    text = body.get_content() if body is not None else ""
    print("body", hexed(text.replace("\r\n", "\n")))
    for part in message.iter_attachments():
        # The bytes as transferred, whatever charset a text part declares.
        print("attachment", hexed(part.get_filename() or ""), hexed(part.get_payload(decode=True)))
    print("end")


def main(host, port, user, password):
    session = poplib.POP3(host, int(port), timeout=30)
    session.user(user)
    session.pass_(password)
    count, _ = session.stat()
    for number in range(1, count + 1):
        _, lines, _ = session.retr(number)
        describe(email.message_from_bytes(b"\r\n".join(lines), policy=email.policy.default))
        session.dele(number)
    session.quit()


if __name__ == "__main__":
    main(*sys.argv[1:5])
