// SHA-256 of the bytes handed to it, for the manifest of a run (GLib's, kept inside src/mail).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace korvani::mail {

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void update(const std::uint8_t* data, std::size_t size);
  // The digest of everything handed over, as 64 lower-case hex digits. Ends the sum: update()
  // may not follow.
  std::string hex();

 private:
  struct State;
  std::unique_ptr<State> state;
};

}  // namespace korvani::mail
