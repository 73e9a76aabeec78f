// SHA-256 (FIPS 180-4) of a byte string, as lower-case hex: what printer makers publish
// beside a firmware package and what sha256sum prints, so that a package can be
// compared before it is written. The command line takes no crypto library for this one
// digest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zerviko::cli {

std::string Sha256Hex(const std::uint8_t* data, std::size_t size);

}  // namespace zerviko::cli
