// Names for the attachments of today's mail that propose none.
//
// A name the mail proposes goes through safeName() (common/safe_name.h); a part that proposes
// nothing usable is named after its place among the unnamed parts and its media type.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace korvani::mail {

// "part-N.EXT", EXT chosen from `mediaType` (a lower-case type/subtype; "bin" when unknown).
std::string defaultAttachmentName(std::size_t number, std::string_view mediaType);

}  // namespace korvani::mail
