// The texts of a mail's original for the viewer: decoded to Unicode as the
// receive decodes them, so a subject with an emoji reads as it was written
// where its record holds "?".
#pragma once

#include <string>

#include "store/MailStore.h"
#include "store/OriginalSearch.h"
#include "viewer/BoxListing.h"

namespace qf::viewer {

// Takes `original` into `mail` (filled from its record). A text of the
// original replaces the record's only where the record holds that text as
// CP932 could keep it (the original may be longer: the record's field was
// cut); otherwise the record's text stays, so a notice the receive added to
// the body, or a record that is not this mail's, is never hidden.
void applyOriginal(ShownMail& mail, std::string original);

// The body the viewer shows for a record's body and its mail's original.
std::string bodyAsShown(const std::string& recordBody, const std::string& original);

// The body of the current record of `box` as the viewer shows it: the
// original's text when one is kept, else the record's.
std::string shownBodyOfCurrent(store::MailStore& store, int box);

// The texts a search looks in (SearchControl::decodeOriginal).
store::OriginalTexts searchedTextsOf(const std::string& original);

// What the record would hold of `utf8`: each character CP932 lacks as "?".
std::string asCp932Keeps(const std::string& utf8);

}  // namespace qf::viewer
