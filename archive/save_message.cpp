#include "archive/save_message.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "archive/quoted_name.h"

namespace {
const char kCaption[] = "Save";
}

void ShowSaveMessage(SaveWindow& window, const char* text) {
  window.ShowMessage(text, kCaption, MessageIcon::Stop);
}

void ShowSaveMessagef(SaveWindow& window, const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  char* text = length >= 0 ? static_cast<char*>(std::malloc(static_cast<size_t>(length) + 1)) : nullptr;
  if (text != nullptr) {
    std::vsnprintf(text, static_cast<size_t>(length) + 1, format, again);
    ShowSaveMessage(window, text);
    std::free(text);
  } else {
    // No memory for the text itself: say so rather than show nothing.
    ShowSaveMessage(window, "Error allocating memory");
  }
  va_end(again);
}

void ShowLoadFailure(SaveWindow& window, EntryLoad result, const char* dir, const char* name) {
  const std::string path = PrintableName(std::string(dir) + name);
  switch (result) {
    case EntryLoad::NoMemory:
      ShowSaveMessagef(window, "Error allocating memory for %s", path.c_str());
      break;
    case EntryLoad::NotInSource:
      ShowSaveMessagef(window, "No such file %s", path.c_str());
      break;
    default:
      ShowSaveMessagef(window, "Error loading %s: %s.", path.c_str(), EntryLoadReason(result));
      break;
  }
}

void ShowSaveFailure(SaveWindow& window, const char* message, const char* path) {
  if (std::strstr(message, "%s"))
    ShowSaveMessagef(window, message, PrintableName(path).c_str());
  else if (*message)
    ShowSaveMessage(window, message);
}
