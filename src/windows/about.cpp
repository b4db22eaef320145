#include "windows/about.h"

namespace quillet {

void ShowAboutBox(const AboutBoxArgs&) {}

}  // namespace quillet
