// The walk the mail targets make of a parsed mail: every part decoded, its bytes counted as the
// engine counts them, every text and header field read, and the whole mail rendered, each as
// well-formed UTF-8.
#pragma once

#include <cstdint>
#include <string>

#include "mail/mail_engine.h"
#include "mail/mail_reader.h"
#include "mail/mail_text.h"

namespace korvani::fuzzing {

inline bool wellFormed(const std::string& text) { return mail::repairUtf8(text) == text; }

// Walks `parsed`; `check(index, decodedSize)` adds a target's own checks on each part.
template <typename Check>
void walkMail(const mail::Mail& parsed, Check check) {
  using mail::PartRole;
  const auto& parts = parsed.parts();
  if (parts.size() > mail::kMaxPartsPerMail) __builtin_trap();
  for (std::size_t index = 0; index < parts.size(); ++index) {
    std::uint64_t counted = 0;
    std::uint64_t decoded = 0;
    parsed.decode(
        index,
        [&counted](const std::uint8_t*, std::size_t chunk) {
          counted += chunk;
          return true;
        },
        &decoded);
    if (counted != decoded) __builtin_trap();
    check(index, decoded);
    if (parts[index].role == PartRole::Text && !wellFormed(parsed.text(index))) __builtin_trap();
    if (parts[index].role == PartRole::Message) {
      for (const mail::HeaderField& field : parsed.headers(index)) {
        if (!wellFormed(field.value)) __builtin_trap();
      }
    }
  }
  if (!wellFormed(mail::renderMail(parsed))) __builtin_trap();
}

}  // namespace korvani::fuzzing
