#include "feedback_listing.h"

namespace quillet::service {

std::string ListingField(std::string_view bytes) {
  std::string field;
  field.reserve(bytes.size());
  for (const char c : bytes) {
    switch (c) {
      case '\\': field += "\\\\"; break;
      case '\t': field += "\\t"; break;
      case '\r': field += "\\r"; break;
      case '\n': field += "\\n"; break;
      default: field += c;
    }
  }
  return field;
}

std::string FeedbackListingLine(const StoredRequest& request) {
  std::string line = ListingField(request.receivedAt);
  for (const char* name : {"appname", "version", "email", "feedback"}) {
    line += '\t';
    line += ListingField(FieldValue(request.fields, name));
  }
  return line;
}

}  // namespace quillet::service
