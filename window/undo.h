// Undo and Redo in an archive window: the commands that edit a document open a step of its
// tree's history (EditScope) around their work; Undo and Redo take a step back or make it
// again, and the panes, the title's modified mark and the menus follow.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

struct WindowDocument;

// While it lives, every change the command makes to the document's tree is one step,
// called action ("Delete", "Paste", ...) over items items. Scopes nest; an inner one joins
// the step already open.
class EditScope {
 public:
  EditScope(WindowDocument* doc, const char* action, uint32_t items = 0);
  ~EditScope();
  EditScope(const EditScope&) = delete;
  EditScope& operator=(const EditScope&) = delete;
  // Closes the step before the scope ends (once); the views may then show it.
  void End();
  // Names the step once the command knows what it was.
  void Name(const char* action, uint32_t items);
  // Ties the step to the step of another window that belongs to the same edit (the two
  // sides of a move); undoing the leading one offers to undo the other as well.
  void Link(uint64_t link, bool leads);

 private:
  WindowDocument* doc_;
};

void UndoEdit(HWND window, WindowDocument* doc);
void RedoEdit(HWND window, WindowDocument* doc);

// The Undo and Redo menu entries named after the steps they would take, and enabled when
// there is one; with no document, plain and grayed.
void UpdateUndoCommands(const WindowDocument* doc);

// Shows "<text>" in the status bar for a few seconds before the folder's counts come back.
void ShowStatusNote(HWND window, WindowDocument* doc, const std::string& text);
// "79 items deleted — Ctrl+Z to undo".
std::string DeletedNote(uint32_t items);
