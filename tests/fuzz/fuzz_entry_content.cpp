// Reads the input as the preview pane reads an entry: as each kind of sound header, as text
// or not, as a PNG's header, and as the lines of the edit and the hex view. Nothing may read
// outside the input; the edit's lines and the hex view keep to their shapes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "panes/core/entry_content.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (SoundKind kind : {SoundKind::Wav, SoundKind::Ogg, SoundKind::Mp3}) {
    SoundFacts facts;
    if (ReadSoundFacts(kind, data, size, size, &facts) && facts.format.empty()) std::abort();
    LengthText(facts.milliseconds);
  }
  LooksLikeText(data, size);
  PngBitsPerPixel(data, size);
  const size_t shown = size < kHexShownBytes ? size : kHexShownBytes;
  // A row is 78 characters; a last row of n < 16 bytes leaves out the characters of the
  // bytes it lacks (16 - n).
  const size_t rest = shown % 16;
  if (HexDumpLines(data, shown).size() != shown / 16 * 78 + (rest ? 62 + rest : 0)) std::abort();
  const std::string lines = EditLines(data, size);
  for (size_t i = 0; i < lines.size(); ++i) {
    // Every line break is CR LF, and no NUL is left.
    if (lines[i] == '\0' || (lines[i] == '\n' && (i == 0 || lines[i - 1] != '\r')) ||
        (lines[i] == '\r' && (i + 1 == lines.size() || lines[i + 1] != '\n')))
      std::abort();
  }
  return 0;
}
