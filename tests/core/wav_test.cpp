// The RIFF/WAVE parser over built files: layouts it must accept and damage it must refuse
// without reading outside the buffer.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "services/core/wav.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void PutTag(Bytes& b, const char* tag) { b.insert(b.end(), tag, tag + 4); }

// One chunk with its pad byte when the body is odd.
Bytes Chunk(const char* tag, const Bytes& body) {
  Bytes b;
  PutTag(b, tag);
  Put32(b, static_cast<uint32_t>(body.size()));
  b.insert(b.end(), body.begin(), body.end());
  if (body.size() & 1) b.push_back(0);
  return b;
}

Bytes FmtBody(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, size_t extra = 0) {
  Bytes b;
  Put16(b, tag);
  Put16(b, channels);
  Put32(b, rate);
  const uint16_t align = static_cast<uint16_t>(channels * ((bits + 7) / 8));
  Put32(b, rate * align);
  Put16(b, align);
  Put16(b, bits);
  for (size_t i = 0; i < extra; ++i) b.push_back(0xEE);
  return b;
}

Bytes Samples(size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 7 + 1);
  return b;
}

// A whole file of the given chunks with a correct RIFF size.
Bytes Riff(const std::vector<Bytes>& chunks) {
  Bytes b;
  PutTag(b, "RIFF");
  Put32(b, 0);
  PutTag(b, "WAVE");
  for (const Bytes& c : chunks) b.insert(b.end(), c.begin(), c.end());
  const uint32_t riffSize = static_cast<uint32_t>(b.size() - 8);
  std::memcpy(&b[4], &riffSize, 4);  // the tests run on little-endian machines
  return b;
}

void SetRiffSize(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[4 + i] = static_cast<uint8_t>(v >> (8 * i));
}

struct ValidCase {
  const char* name;
  uint16_t channels;
  uint32_t rate;
  uint16_t bits;
  size_t sampleBytes;
};

TEST(ParseWave, AcceptsPcmEightAndSixteenBitMonoAndStereo) {
  const ValidCase cases[] = {
      {"8-bit mono", 1, 11025, 8, 100},
      {"8-bit stereo", 2, 22050, 8, 202},
      {"16-bit mono", 1, 44100, 16, 64},
      {"16-bit stereo", 2, 48000, 16, 400},
  };
  for (const ValidCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes samples = Samples(c.sampleBytes);
    const Bytes file = Riff({Chunk("fmt ", FmtBody(1, c.channels, c.rate, c.bits)), Chunk("data", samples)});
    WaveSound sound = {};
    ASSERT_TRUE(ParseWave(file.data(), static_cast<uint32_t>(file.size()), &sound));
    EXPECT_EQ(sound.format.formatTag, 1);
    EXPECT_EQ(sound.format.channels, c.channels);
    EXPECT_EQ(sound.format.samplesPerSec, c.rate);
    EXPECT_EQ(sound.format.blockAlign, c.channels * c.bits / 8);
    EXPECT_EQ(sound.format.avgBytesPerSec, c.rate * c.channels * c.bits / 8);
    EXPECT_EQ(sound.format.bitsPerSample, c.bits);
    EXPECT_EQ(sound.format.extraSize, 0);
    ASSERT_EQ(sound.sampleBytes, c.sampleBytes);
    EXPECT_EQ(sound.samples, file.data() + 12 + 8 + 16 + 8);
    EXPECT_EQ(0, std::memcmp(sound.samples, samples.data(), samples.size()));
  }
}

TEST(ParseWave, SkipsOtherChunksInAnyPositionWithTheirPadBytes) {
  const Bytes samples = Samples(33);
  const Bytes fmt = Chunk("fmt ", FmtBody(1, 1, 8000, 8));
  const Bytes list = Chunk("LIST", Samples(5));  // odd: one pad byte follows
  const Bytes fact = Chunk("fact", Samples(4));
  const Bytes empty = Chunk("junk", {});
  const struct {
    const char* name;
    std::vector<Bytes> chunks;
  } cases[] = {
      {"extra chunk first", {list, fmt, Chunk("data", samples)}},
      {"extra chunk between", {fmt, list, fact, Chunk("data", samples)}},
      {"extra chunk after data", {fmt, Chunk("data", samples), list}},
      {"empty chunk", {empty, fmt, empty, Chunk("data", samples)}},
      {"odd extended fmt", {Chunk("fmt ", FmtBody(1, 1, 8000, 8, 3)), list, Chunk("data", samples)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes file = Riff(c.chunks);
    WaveSound sound = {};
    ASSERT_TRUE(ParseWave(file.data(), static_cast<uint32_t>(file.size()), &sound));
    ASSERT_EQ(sound.sampleBytes, samples.size());
    EXPECT_EQ(0, std::memcmp(sound.samples, samples.data(), samples.size()));
    EXPECT_EQ(sound.format.samplesPerSec, 8000u);
  }
}

TEST(ParseWave, OddDataChunkAtTheEndNeedsNoPadByte) {
  const Bytes samples = Samples(7);
  Bytes file = Riff({Chunk("fmt ", FmtBody(1, 1, 8000, 8)), Chunk("data", samples)});
  file.pop_back();  // drop the pad byte
  SetRiffSize(file, static_cast<uint32_t>(file.size() - 8));
  WaveSound sound = {};
  ASSERT_TRUE(ParseWave(file.data(), static_cast<uint32_t>(file.size()), &sound));
  EXPECT_EQ(sound.sampleBytes, 7u);
}

TEST(ParseWave, ZeroLengthDataIsAnEmptySound) {
  const Bytes file = Riff({Chunk("fmt ", FmtBody(1, 2, 22050, 16)), Chunk("data", {})});
  WaveSound sound = {};
  ASSERT_TRUE(ParseWave(file.data(), static_cast<uint32_t>(file.size()), &sound));
  EXPECT_EQ(sound.sampleBytes, 0u);
  EXPECT_EQ(sound.samples, file.data() + file.size());
}

TEST(ParseWave, NonPcmFormatsKeepTheirTagAndNoBitsPerSample) {
  const uint16_t tags[] = {2 /* ADPCM */, 3 /* float */, 6 /* A-law */, 0x55 /* MP3 */};
  for (uint16_t tag : tags) {
    SCOPED_TRACE(tag);
    const Bytes file = Riff({Chunk("fmt ", FmtBody(tag, 1, 8000, 4, 2)), Chunk("data", Samples(10))});
    WaveSound sound = {};
    ASSERT_TRUE(ParseWave(file.data(), static_cast<uint32_t>(file.size()), &sound));
    EXPECT_EQ(sound.format.formatTag, tag);
    EXPECT_EQ(sound.format.bitsPerSample, 0);
    EXPECT_EQ(sound.format.extraSize, 0);
  }
  // The plain 14-byte format record is enough when there are no bits per sample to read.
  Bytes shortBody = FmtBody(2, 1, 8000, 4);
  shortBody.resize(14);
  const Bytes file = Riff({Chunk("fmt ", shortBody), Chunk("data", Samples(4))});
  WaveSound sound = {};
  EXPECT_TRUE(ParseWave(file.data(), static_cast<uint32_t>(file.size()), &sound));
}

TEST(ParseWave, RefusesDamagedFilesAndLeavesTheResultUntouched) {
  const Bytes fmt = Chunk("fmt ", FmtBody(1, 1, 8000, 8));
  const Bytes data = Chunk("data", Samples(20));
  const Bytes good = Riff({fmt, data});
  Bytes pcm15 = FmtBody(1, 1, 8000, 8);
  pcm15.resize(15);
  Bytes fmt13 = FmtBody(3, 1, 8000, 8);
  fmt13.resize(13);

  std::vector<std::pair<std::string, Bytes>> cases;
  auto add = [&cases](const char* name, Bytes b) { cases.emplace_back(name, std::move(b)); };
  add("empty", {});
  add("header only", Bytes(good.begin(), good.begin() + 12));
  add("no data chunk", Riff({fmt}));
  add("data before fmt", Riff({data, fmt}));
  add("two fmt chunks", Riff({fmt, fmt, data}));
  add("PCM fmt shorter than 16", Riff({Chunk("fmt ", pcm15), data}));
  add("fmt shorter than 14", Riff({Chunk("fmt ", fmt13), data}));
  {
    Bytes b = good;
    b[0] = 'r';
    add("not RIFF", b);
  }
  {
    Bytes b = good;
    b[8] = 'w';
    add("not WAVE", b);
  }
  {
    Bytes b = good;
    SetRiffSize(b, static_cast<uint32_t>(b.size() - 8 + 1));
    add("RIFF size one too large", b);
  }
  {
    Bytes b = good;
    SetRiffSize(b, static_cast<uint32_t>(b.size() - 8 - 1));
    add("RIFF size one too small", b);
  }
  {
    Bytes b = good;
    SetRiffSize(b, 0xFFFFFFF8u);  // + 8 wraps to 0
    add("RIFF size wrapping", b);
  }
  {
    Bytes b = good;
    b.resize(b.size() - 5);
    SetRiffSize(b, static_cast<uint32_t>(b.size() - 8));
    add("truncated data body", b);
  }
  {
    Bytes b = good;
    b[12 + 4] = 0xFF;  // fmt body size lies: 0x000000FF + rest
    add("fmt size past the end", b);
  }
  {
    Bytes b = good;
    const size_t dataSize = 12 + fmt.size() + 4;
    for (int i = 0; i < 4; ++i) b[dataSize + i] = 0xFF;
    add("data size 0xFFFFFFFF", b);
  }
  {
    Bytes b = Riff({Chunk("LIST", {}), fmt, data});
    for (int i = 0; i < 4; ++i) b[16 + i] = 0xFF;
    add("skipped chunk size 0xFFFFFFFF", b);
  }
  {
    Bytes b = Riff({fmt, Chunk("LIST", Samples(3))});
    b.pop_back();  // the pad byte of the odd last chunk is missing
    SetRiffSize(b, static_cast<uint32_t>(b.size() - 8));
    add("odd chunk without pad and no data", b);
  }
  {
    Bytes b = Riff({fmt});
    b.insert(b.end(), {'d', 'a', 't'});
    SetRiffSize(b, static_cast<uint32_t>(b.size() - 8));
    add("partial chunk header", b);
  }

  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    // A copy of exactly the case's length, so ASan sees any read past its end.
    std::vector<uint8_t>* heap = new std::vector<uint8_t>(c.second);
    WaveSound sound;
    std::memset(&sound, 0xAB, sizeof sound);
    EXPECT_FALSE(ParseWave(heap->empty() ? nullptr : heap->data(), static_cast<uint32_t>(heap->size()), &sound));
    const uint8_t* raw = reinterpret_cast<const uint8_t*>(&sound);
    for (size_t i = 0; i < sizeof sound; ++i) ASSERT_EQ(raw[i], 0xAB) << "byte " << i;
    delete heap;
  }
}

TEST(ParseWave, EveryTruncationOfAValidFileIsRefused) {
  const Bytes file = Riff({Chunk("LIST", Samples(9)), Chunk("fmt ", FmtBody(1, 2, 8000, 16)),
                           Chunk("data", Samples(40))});
  for (size_t n = 0; n < file.size(); ++n) {
    Bytes cut(file.begin(), file.begin() + n);
    if (n >= 8) SetRiffSize(cut, static_cast<uint32_t>(n - 8));  // a consistent header
    WaveSound sound = {};
    EXPECT_FALSE(ParseWave(cut.empty() ? nullptr : cut.data(), static_cast<uint32_t>(n), &sound)) << n;
  }
}

TEST(LooksLikeWave, NeedsTwelveBytesWithBothTags) {
  const Bytes good = Riff({Chunk("fmt ", FmtBody(1, 1, 8000, 8)), Chunk("data", Samples(2))});
  EXPECT_TRUE(LooksLikeWave(good.data(), static_cast<uint32_t>(good.size())));
  EXPECT_TRUE(LooksLikeWave(good.data(), 12));  // only the tags are looked at
  EXPECT_FALSE(LooksLikeWave(good.data(), 11));
  EXPECT_FALSE(LooksLikeWave(nullptr, 100));
  Bytes b = good;
  b[9] = 'X';
  EXPECT_FALSE(LooksLikeWave(b.data(), static_cast<uint32_t>(b.size())));
}

}  // namespace
