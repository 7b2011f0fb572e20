// What the Details view's Packed, Ratio, Method and CRC-32 columns show for an entry, and
// the values their orders compare.
#pragma once

#include <cstdint>
#include <string>

#include "archive/source.h"

// The saving of storing size bytes as stored bytes, in millionths (1,000,000: nothing
// stored for something; 0 for an empty entry; below 0 when the stored bytes are more).
int64_t SavingMillionths(uint32_t size, uint32_t stored);
// The saving as the Ratio column shows it: whole percent, cut toward zero ("63%", "-2%").
std::string SavingText(uint32_t size, uint32_t stored);

// The name of an entry's method: "Stored", "Deflate", "Encrypted", or for another method
// its name in the format's numbering (ZIP's when zipMethods, a WAD2 lump's otherwise), and
// "Method <n>" for a number neither knows.
std::string MethodText(StoredMethod method, uint16_t code, bool zipMethods);

// A CRC-32 as eight upper-case hexadecimal digits.
std::string CrcText(uint32_t crc);
