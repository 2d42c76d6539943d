#pragma once
// The readable form of a description file: JSON with one key per field, in file order.
// Fields whose bytes are clean appear as plain values (numbers, strings, arrays of
// bytes); a text field with bytes after its first zero or outside printable ASCII, a
// float that does not print back to the same bits (NaN, infinities) and non-zero filler
// records or trailing bytes appear as {"hex": "..."} holding the bytes as they stand in
// the file. The counts are those of the lists, so text and binary cannot disagree, and
// converting a file to text and back gives the same bytes.
#include <cstdint>
#include <string>
#include <vector>

#include "data/Description.h"

namespace ombrix {

std::string DescriptionToText(const Description& d, const DescriptionPadding& padding);
// False with the place and the reason ("kinds[2].kindName: longer than 25 bytes").
bool DescriptionFromText(const std::string& text, Description* d, DescriptionPadding* padding, std::string* why);

// The two directions on whole files' bytes.
bool DescriptionBytesToText(const std::vector<uint8_t>& bytes, std::string* text, std::string* why);
bool DescriptionTextToBytes(const std::string& text, std::vector<uint8_t>* bytes, std::string* why);

}  // namespace ombrix
