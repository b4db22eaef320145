// The maker's reading of the feedback the service kept: one line per request, so the list can
// be read in a terminal, searched with grep or loaded into a spreadsheet.
#pragma once

#include <string>
#include <string_view>

#include "storage.h"

namespace quillet::service {

// A field as it appears in a listing line: backslash, TAB, CR and LF written as \\, \t, \r and
// \n, every other byte as it was sent.
std::string ListingField(std::string_view bytes);

// received_at, appname, version, email and feedback of one request, separated by TAB, without
// a line end. A field the request did not carry is empty.
std::string FeedbackListingLine(const StoredRequest& request);

}  // namespace quillet::service
