// What the preview tells of an entry's bytes: text or not, a program or not, a PNG's depth,
// a sound's facts, and the lines it gives the edit control.
#include "panes/core/entry_content.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

void Put(std::vector<uint8_t>* b, uint64_t value, int bytes, bool bigEndian = false) {
  for (int i = 0; i < bytes; ++i) {
    const int shift = 8 * (bigEndian ? bytes - 1 - i : i);
    b->push_back(static_cast<uint8_t>(value >> shift));
  }
}

TEST(EntryContent, TextIsToldByItsBytesOrItsType) {
  struct Case {
    const char* name;
    std::string bytes;
    bool text;
  } cases[] = {
      {"makefile", "all:\n\tcc -o a a.c\n", true},
      {"autoexec.cfg", "bind w +forward\r\n", true},
      {"notes", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", true},       // two-, three- and four-byte UTF-8
      {"blob.bin", std::string("ab\0cd", 5), false},                      // a NUL
      {"blob.bin", "\xFF\xFE" "a", false},                                // bytes UTF-8 never has
      {"blob.bin", "\xC0\xAF", false},                                    // an overlong slash
      {"blob.bin", "\xED\xA0\x80", false},                                // a surrogate
      {"blob.bin", "\xC3(", false},                                       // a lead without its follower
      {"DEFAULT.CFG", std::string("\0\0\0", 3), true},                    // a text type, whatever it holds
      {"maps/e1m1.MAP", "\x01\x02", true},
      {"scripts/x.shader.bak", "\x80", false},                            // the last extension counts
      {"dir.cfg/file", "\x80", false},                                    // a folder's dot is no extension
      {"empty", "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> b = Bytes(c.bytes);
    EXPECT_EQ(IsTextEntry(c.name, b.data(), b.size()), c.text);
  }
  // A sequence cut off where the look ends still counts; one cut off earlier does not matter.
  std::vector<uint8_t> big(kTextSniffBytes - 1, 'a');
  big.push_back(0xE2);
  big.push_back(0x82);
  big.push_back(0);  // beyond what is looked at
  EXPECT_TRUE(LooksLikeText(big.data(), big.size()));
}

TEST(EntryContent, LinesForTheEditEndInCrLf) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"a\nb\n", "a\r\nb\r\n"}, {"a\r\nb", "a\r\nb"}, {"a\rb", "a\r\nb"}, {"\n\n", "\r\n\r\n"},
      {std::string("a\0b", 3), "a b"}, {"", ""}, {"a\r", "a\r\n"},
  };
  for (const Case& c : cases) {
    const std::vector<uint8_t> b = Bytes(c.in);
    EXPECT_EQ(EditLines(b.data(), b.size()), c.out);
  }
}

TEST(EntryContent, HexDumpShowsOffsetsBytesAndPrintableText) {
  std::vector<uint8_t> b = Bytes("PACK\x01\x02 hello world!");
  EXPECT_EQ(HexDumpLines(b.data(), b.size()),
            "00000000  50 41 43 4b 01 02 20 68  65 6c 6c 6f 20 77 6f 72  PACK.. hello wor\r\n"
            "00000010  6c 64 21                                          ld!\r\n");
  EXPECT_EQ(HexDumpLines(nullptr, 0), "");
}

TEST(EntryContent, ProgramsSayWhatTheyAre) {
  struct Case {
    std::string bytes;
    bool program;
  } cases[] = {{"MZ\x90", true}, {"#!/bin/sh\n", true}, {"M", false}, {"", false}, {"all:\n", false}, {"mz", false}};
  for (const Case& c : cases) {
    const std::vector<uint8_t> b = Bytes(c.bytes);
    EXPECT_EQ(IsProgramBytes(b.data(), b.size()), c.program) << c.bytes;
  }
}

std::vector<uint8_t> PngHeader(uint8_t depth, uint8_t colourType) {
  std::vector<uint8_t> b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  Put(&b, 16, 4, true);
  Put(&b, 16, 4, true);
  b.push_back(depth);
  b.push_back(colourType);
  b.insert(b.end(), {0, 0, 0, 0, 0, 0, 0});
  return b;
}

TEST(EntryContent, PngDepthComesFromItsHeader) {
  struct Case {
    uint8_t depth, type;
    unsigned bits;
  } cases[] = {{1, 0, 1}, {4, 3, 4}, {8, 3, 8}, {8, 2, 24}, {16, 2, 48}, {8, 6, 32}, {8, 4, 16}, {8, 5, 0}};
  for (const Case& c : cases) {
    const std::vector<uint8_t> b = PngHeader(c.depth, c.type);
    EXPECT_EQ(PngBitsPerPixel(b.data(), b.size()), c.bits) << int(c.depth) << "/" << int(c.type);
    EXPECT_EQ(PngBitsPerPixel(b.data(), 25), 0u);  // cut off before the colour type
  }
}

std::vector<uint8_t> Wave(uint16_t channels, uint32_t rate, uint16_t bits, uint32_t dataBytes) {
  std::vector<uint8_t> b = Bytes("RIFF");
  Put(&b, 4 + 24 + 8 + dataBytes, 4);
  for (char c : std::string("WAVEfmt ")) b.push_back(static_cast<uint8_t>(c));
  Put(&b, 16, 4);
  Put(&b, 1, 2);
  Put(&b, channels, 2);
  Put(&b, rate, 4);
  Put(&b, rate * channels * bits / 8, 4);
  Put(&b, channels * bits / 8, 2);
  Put(&b, bits, 2);
  for (char c : std::string("data")) b.push_back(static_cast<uint8_t>(c));
  Put(&b, dataBytes, 4);
  b.resize(b.size() + dataBytes);
  return b;
}

// An OGG page: its header with the granule position, one segment holding body.
void OggPage(std::vector<uint8_t>* b, uint64_t granule, const std::vector<uint8_t>& body) {
  for (char c : std::string("OggS")) b->push_back(static_cast<uint8_t>(c));
  b->push_back(0);
  b->push_back(0);
  Put(b, granule, 8);
  Put(b, 1, 4);  // serial
  Put(b, 0, 4);  // sequence
  Put(b, 0, 4);  // checksum
  b->push_back(1);
  b->push_back(static_cast<uint8_t>(body.size()));
  b->insert(b->end(), body.begin(), body.end());
}

std::vector<uint8_t> Ogg(uint8_t channels, uint32_t rate, uint64_t lastGranule) {
  std::vector<uint8_t> id = {1, 'v', 'o', 'r', 'b', 'i', 's', 0, 0, 0, 0, channels};
  Put(&id, rate, 4);
  id.resize(30);
  std::vector<uint8_t> b;
  OggPage(&b, 0, id);
  OggPage(&b, lastGranule / 2, std::vector<uint8_t>(40, 7));
  OggPage(&b, lastGranule, std::vector<uint8_t>(20, 9));
  return b;
}

std::vector<uint8_t> Mp3(bool xing, uint32_t frames, size_t bodyBytes) {
  std::vector<uint8_t> b = {0xFF, 0xFB, 0x90, 0x00};  // MPEG-1 Layer III, 128 kbit/s, 44,100 Hz, stereo
  b.resize(4 + 32);
  if (xing) {
    for (char c : std::string("Xing")) b.push_back(static_cast<uint8_t>(c));
    Put(&b, 1, 4, true);
    Put(&b, frames, 4, true);
  }
  b.resize(bodyBytes);
  return b;
}

TEST(EntryContent, SoundsTellFormatAndLength) {
  const std::vector<uint8_t> wav = Wave(2, 22050, 16, 22050 * 4 * 3);  // three seconds
  const std::vector<uint8_t> ogg = Ogg(1, 44100, 44100 * 90 + 22050);  // 1:30.5
  const std::vector<uint8_t> xing = Mp3(true, 38, 5000);               // 38 frames of 1,152 samples
  const std::vector<uint8_t> cbr = Mp3(false, 0, 64000);               // 64,000 bytes at 128 kbit/s
  struct Case {
    const char* name;
    const std::vector<uint8_t>* bytes;
    const char* format;
    uint32_t channels, rate, bits, bitrate;
    const char* length;
  } cases[] = {
      {"sound/door.wav", &wav, "PCM WAV", 2, 22050, 16, 0, "0:03.0"},
      {"music/track.ogg", &ogg, "Vorbis (OGG)", 1, 44100, 0, 0, "1:30.5"},
      {"music/a.mp3", &xing, "MPEG-1 Layer III", 2, 44100, 0, 128, "0:00.9"},
      {"music/b.mp3", &cbr, "MPEG-1 Layer III", 2, 44100, 0, 128, "0:04.0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const SoundKind kind = SoundKindOf(c.name, c.bytes->data(), c.bytes->size());
    SoundFacts facts;
    ASSERT_TRUE(ReadSoundFacts(kind, c.bytes->data(), c.bytes->size(), c.bytes->size(), &facts));
    EXPECT_EQ(facts.format, c.format);
    EXPECT_EQ(facts.channels, c.channels);
    EXPECT_EQ(facts.rate, c.rate);
    EXPECT_EQ(facts.bits, c.bits);
    EXPECT_EQ(facts.bitrate, c.bitrate);
    ASSERT_TRUE(facts.lengthKnown);
    EXPECT_EQ(LengthText(facts.milliseconds), c.length);
  }
  EXPECT_EQ(LengthText(3723000), "1:02:03");
}

TEST(EntryContent, EveryCutOfASoundIsReadOrRefused) {
  const std::vector<uint8_t> sounds[] = {Wave(1, 8000, 8, 100), Ogg(2, 48000, 96000), Mp3(true, 10, 200)};
  const SoundKind kinds[] = {SoundKind::Wav, SoundKind::Ogg, SoundKind::Mp3};
  for (int k = 0; k < 3; ++k) {
    for (size_t n = 0; n <= sounds[k].size(); ++n) {
      // Its own buffer of exactly n bytes, so that the sanitizer sees any read past it.
      std::vector<uint8_t> cut(sounds[k].begin(), sounds[k].begin() + static_cast<long>(n));
      SoundFacts facts;
      const bool read = ReadSoundFacts(kinds[k], cut.empty() ? nullptr : cut.data(), n, n, &facts);
      if (n < 4) {
        EXPECT_FALSE(read) << n;
      }
    }
  }
  // A WAV is read whole: one cut short of its RIFF size is refused.
  SoundFacts facts;
  EXPECT_FALSE(ReadSoundFacts(SoundKind::Wav, sounds[0].data(), sounds[0].size() - 1, 0, &facts));
}

}  // namespace
