#include "panes/core/item_summary.h"

namespace {

void AddOne(const ArchiveDocument* doc, const Node* node, ItemSummary* summary) {
  if (node->IsDirectory()) {
    ++summary->folders;
    return;
  }
  if (!node->IsFile()) return;
  ++summary->files;
  summary->size += node->size();
  const SourceEntry* entry = node->source();
  if (entry == nullptr || doc == nullptr || !doc->source || entry->index >= doc->source->Count()) return;
  ++summary->storedFiles;
  summary->storedPlainSize += node->size();
  summary->storedSize += doc->source->Info(entry->index).storedSize;
}

}  // namespace

void AddToSummary(const ArchiveDocument* doc, const Node* node, ItemSummary* summary) {
  for (const Node* n = node; n; n = NextInSubtree(n, node)) AddOne(doc, n, summary);
}

int SavingPercent(uint64_t plain, uint64_t stored) {
  if (plain == 0) return 0;
  const double saving = (static_cast<double>(plain) - static_cast<double>(stored)) * 100.0 / static_cast<double>(plain);
  return static_cast<int>(saving < 0 ? saving - 0.5 : saving + 0.5);
}
