#!/bin/sh
# The browser of the sign-in tests: fetches the page it is given and follows
# its redirects, as a user who agrees at once would.
exec curl -sL -o /dev/null --max-time 20 "$1"
