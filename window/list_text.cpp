#include "window/list_text.h"

#include <cstring>

#include "services/code_page.h"
#include "services/core/path_length.h"

void GiveListText(NMLVDISPINFOA* info, const std::string& text) {
  if (!(info->item.mask & LVIF_TEXT) || info->item.pszText == nullptr || info->item.cchTextMax <= 0) return;
  if (!AnsiCodePageIsUtf8()) {
    lstrcpynA(info->item.pszText, text.c_str(), info->item.cchTextMax);
    return;
  }
  const size_t length = Utf8CutLength(text, static_cast<size_t>(info->item.cchTextMax) - 1);
  std::memcpy(info->item.pszText, text.data(), length);
  info->item.pszText[length] = '\0';
}

void GiveListText(NMLVDISPINFOW* info, const std::string& text) {
  if (!(info->item.mask & LVIF_TEXT) || info->item.pszText == nullptr || info->item.cchTextMax <= 0) return;
  const int written = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, info->item.pszText, info->item.cchTextMax);
  if (written == 0) info->item.pszText[info->item.cchTextMax - 1] = L'\0';
}
