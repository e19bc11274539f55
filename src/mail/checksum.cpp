#include "mail/checksum.h"

#include <glib.h>

namespace korvani::mail {

struct Sha256::State {
  GChecksum* sum = g_checksum_new(G_CHECKSUM_SHA256);
  ~State() { g_checksum_free(sum); }
};

Sha256::Sha256() : state(std::make_unique<State>()) {}

Sha256::~Sha256() = default;

void Sha256::update(const std::uint8_t* data, std::size_t size) {
  // GLib takes a signed length: hand very large blocks over in pieces.
  constexpr std::size_t kPiece = std::size_t{1} << 30;
  while (size > 0) {
    const std::size_t piece = size < kPiece ? size : kPiece;
    g_checksum_update(state->sum, data, static_cast<gssize>(piece));
    data += piece;
    size -= piece;
  }
}

std::string Sha256::hex() { return g_checksum_get_string(state->sum); }

}  // namespace korvani::mail
