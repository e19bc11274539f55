#include "common/cp932_table.h"

namespace korvani {
namespace {

// Made at build time by cp932_table_generator.cpp from the C library's converter.
constexpr std::uint16_t kTable[kCp932TableSize] = {
#include "cp932_table_data.inc"
};

constexpr std::uint16_t kDecodeTable[kCp932TableSize] = {
#include "cp932_decode_data.inc"
};

}  // namespace

const std::uint16_t* cp932Table() { return kTable; }

const std::uint16_t* cp932DecodeTable() { return kDecodeTable; }

}  // namespace korvani
