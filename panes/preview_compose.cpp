// What the preview pane shows of an entry, made on the pane's worker from the entry's bytes.
#include <windows.h>

#include <cstdio>

#include "archive/crc32.h"
#include "panes/core/entry_content.h"
#include "panes/preview_worker.h"
#include "services/core/archive_text.h"
#include "services/number_format.h"

namespace {

// The most of an entry read whole to decode a picture or describe a sound.
constexpr uint32_t kWholeReadLimit = 128u * 1024 * 1024;

std::string Grouped(uint64_t value) {
  char text[40];
  if (FormatUserNumber(value, text, sizeof text) == 0) std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(value));
  return text;
}

std::string Details(const EntryFacts& f, const SharedBytes& whole) {
  std::string text = "Size: " + Grouped(f.size) + " bytes";
  if (f.inArchive) {
    text += "    Stored: " + Grouped(f.storedSize) + " bytes    Method: " + (f.deflated ? "Deflated" : "Stored");
    if (f.size > 0) {
      const int64_t saved = (static_cast<int64_t>(f.size) - static_cast<int64_t>(f.storedSize)) * 100 / f.size;
      text += "    Saving: " + std::to_string(saved) + "%";
    }
  } else {
    text += "    Not saved in the archive yet";
  }
  bool crcKnown = f.hasCrc;
  uint32_t crc = f.crc;
  if (!crcKnown && (whole || f.size == 0)) {
    crc = whole ? Crc32(whole->data(), whole->size()) : 0;
    crcKnown = true;
  }
  if (crcKnown) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(crc));
    text += std::string("    CRC-32: ") + hex;
  }
  text += "\r\n";
  if (!f.modified.empty()) text += "Modified: " + f.modified + "    ";
  text += "Path: " + f.storedPath;
  return text;
}

std::unique_ptr<PreviewResult> Failed(std::unique_ptr<PreviewResult> result, const std::string& reason) {
  result->kind = PreviewKind::Failure;
  result->note = "Can't show this file: " + reason;
  return result;
}

std::string PaletteKey(const PaletteSource& source) {
  if (!source.inArchive) return "beside:" + source.besideFile + ":" + std::to_string(static_cast<int>(source.game));
  char where[64];
  std::snprintf(where, sizeof where, ":%llu:%u:%p", static_cast<unsigned long long>(source.entry.where.offset),
                static_cast<unsigned>(source.entry.size), static_cast<const void*>(source.entry.memory.get()));
  return source.entry.archivePath + ":" + source.from + where;
}

const GamePalette* CachedPalette(const PaletteSource& source, PaletteCache* cache, const std::atomic<bool>* stop) {
  if (!source.inArchive && source.besideFile.empty()) return nullptr;
  const std::string key = PaletteKey(source);
  for (const PaletteCache::Entry& entry : cache->entries)
    if (entry.key == key) return entry.found ? &entry.palette : nullptr;
  PaletteCache::Entry entry{key, false, GamePalette()};
  entry.found = LoadPalette(source, &entry.palette, stop);
  if (stop && stop->load()) return nullptr;  // a stopped read says nothing of the palette
  cache->entries.push_back(std::move(entry));
  return cache->entries.back().found ? &cache->entries.back().palette : nullptr;
}

std::string PictureCaption(const Picture& picture, PictureKind kind, const GamePalette* palette) {
  std::string caption = std::to_string(picture.width) + " \xC3\x97 " + std::to_string(picture.height) + ", " +
                        std::to_string(picture.bits) + "-bit " + PictureKindName(kind);
  if (NeedsGamePalette(kind)) {
    if (palette)
      caption += ", palette: " + palette->from;
    else
      caption += " \xE2\x80\x94 no palette found \xE2\x80\x94 open the game's pak0 to see colours";
  }
  return caption;
}

void ComposePicture(PreviewResult* result, PictureKind kind, const SharedBytes& bytes, const PreviewRequest& request,
                    const std::atomic<bool>* stop, PaletteCache* palettes) {
  const GamePalette* palette = NeedsGamePalette(kind) ? CachedPalette(request.palette, palettes, stop) : nullptr;
  std::string why;
  if (!DecodeEntryPicture(bytes->data(), bytes->size(), kind, palette, &result->picture, &why)) {
    result->kind = PreviewKind::Failure;
    result->note = "Can't show this file: " + why;
    result->text = HexDumpLines(bytes->data(), bytes->size() < kHexShownBytes ? bytes->size() : kHexShownBytes);
    return;
  }
  result->kind = PreviewKind::Picture;
  result->note = PictureCaption(result->picture, kind, palette);
}

void ComposeSound(PreviewResult* result, SoundKind kind, const SharedBytes& bytes, uint32_t size) {
  SoundFacts facts;
  result->text = HexDumpLines(bytes->data(), bytes->size() < kHexShownBytes ? bytes->size() : kHexShownBytes);
  if (!ReadSoundFacts(kind, bytes->data(), bytes->size(), size, &facts)) {
    result->kind = PreviewKind::Failure;
    result->note = "Can't show this file: its sound header cannot be read";
    return;
  }
  result->kind = PreviewKind::Sound;
  std::string note = facts.format;
  if (facts.channels) note += ", " + std::string(facts.channels == 1 ? "mono" : facts.channels == 2 ? "stereo" : std::to_string(facts.channels) + " channels");
  if (facts.rate) note += ", " + Grouped(facts.rate) + " Hz";
  if (facts.bits) note += ", " + std::to_string(facts.bits) + "-bit";
  if (facts.bitrate) note += ", " + std::to_string(facts.bitrate) + " kbit/s";
  if (facts.lengthKnown) note += ", length " + LengthText(facts.milliseconds);
  result->note = note;
  if (kind == SoundKind::Wav) result->wave = bytes;
}

}  // namespace

std::unique_ptr<PreviewResult> ComposePreview(const PreviewRequest& request, const std::atomic<bool>* stop,
                                              PaletteCache* palettes) {
  auto result = std::make_unique<PreviewResult>();
  result->sequence = request.sequence;
  result->title = request.title;
  if (request.isFolder) {
    result->kind = PreviewKind::Folder;
    result->text = request.folderText;
    return result;
  }
  result->details = Details(request.facts, nullptr);
  if (request.entry.refused != EntryLoad::Ok) return Failed(std::move(result), EntryLoadReason(request.entry.refused));
  SharedBytes head;
  EntryLoad load = ReadSnapshot(request.entry, static_cast<uint32_t>(kTextSniffBytes), &head, stop);
  if (load != EntryLoad::Ok) return Failed(std::move(result), EntryLoadReason(load));
  const uint8_t* headData = head ? head->data() : nullptr;
  const size_t headSize = head ? head->size() : 0;
  const uint32_t size = request.entry.size;
  const PictureKind pictureKind = PictureKindOf(request.facts.storedPath, headData, headSize);
  const SoundKind soundKind = pictureKind == PictureKind::None ? SoundKindOf(request.facts.storedPath, headData, headSize)
                                                               : SoundKind::None;
  SharedBytes whole = size <= headSize ? head : nullptr;
  if ((pictureKind != PictureKind::None || soundKind != SoundKind::None) && !whole && headSize > 0) {
    if (size > kWholeReadLimit) return Failed(std::move(result), "it is too large to show here");
    load = ReadSnapshot(request.entry, size, &whole, stop);
    if (load != EntryLoad::Ok) return Failed(std::move(result), EntryLoadReason(load));
  }
  if (stop && stop->load()) return result;
  result->details = Details(request.facts, whole);
  if (pictureKind != PictureKind::None && whole) {
    ComposePicture(result.get(), pictureKind, whole, request, stop, palettes);
  } else if (soundKind != SoundKind::None && whole) {
    ComposeSound(result.get(), soundKind, whole, size);
  } else if (IsTextEntry(request.facts.storedPath, headData, headSize)) {
    SharedBytes text = whole;
    if (!text && size > 0) {
      load = ReadSnapshot(request.entry, static_cast<uint32_t>(kTextShownBytes), &text, stop);
      if (load != EntryLoad::Ok) return Failed(std::move(result), EntryLoadReason(load));
    }
    result->kind = PreviewKind::Text;
    if (text) result->text = EditLines(text->data(), text->size());
    if (text && text->size() < size)
      result->note = "Showing the first 1 MB of " + Grouped(size) + " bytes";
  } else {
    result->kind = PreviewKind::Bytes;
    result->text = HexDumpLines(headData, headSize < kHexShownBytes ? headSize : kHexShownBytes);
    result->note = size > kHexShownBytes ? "The first " + Grouped(kHexShownBytes) + " bytes" : std::string();
  }
  return result;
}
