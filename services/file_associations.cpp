#include "services/file_associations.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <vector>

#include "services/code_page.h"

const wchar_t kAssociationProgId[] = L"Vellumix.Archive";
const wchar_t kAssociationTypeName[] = L"Game data archive";
const wchar_t kPreviousOwnerValue[] = L"Vellumix.PreviousOwner";
const wchar_t kCreatedKeyValue[] = L"Vellumix.CreatedKey";
const wchar_t* const kAssociatedExtensions[] = {L".pak", L".pk3", L".pk4", L".wad"};
const size_t kAssociatedExtensionCount = sizeof kAssociatedExtensions / sizeof kAssociatedExtensions[0];

namespace {

const char kUserClassesName[] = "HKEY_CURRENT_USER\\Software\\Classes";
const char kTurnOnFailed[] = "Vellumix could not be set to open .pak, .pk3, .pk4 and .wad files";
const char kTurnOffFailed[] = "Vellumix could not stop opening .pak, .pk3, .pk4 and .wad files";
// The most characters a module's path can have on any Windows.
constexpr DWORD kLongestModulePath = 32768;

class Key {
 public:
  Key() = default;
  ~Key() { Close(); }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY* out() { return &key_; }
  HKEY get() const { return key_; }
  void Close() {
    if (key_) RegCloseKey(key_);
    key_ = nullptr;
  }

 private:
  HKEY key_ = nullptr;
};

// A registry value as it was read, to be written back exactly: its type and bytes, or that
// there was none.
struct SavedValue {
  bool present = false;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

// What of an extension's key the association reads and writes, as it was before a change.
struct ExtensionState {
  const wchar_t* extension = nullptr;
  bool existed = false;
  SavedValue defaultValue, previousOwner, createdKey;
};

LONG ReadValue(HKEY key, const wchar_t* name, SavedValue* value) {
  *value = SavedValue();
  // The value can grow between asking its size and reading it; a few rounds settle that.
  for (int round = 0; round < 4; ++round) {
    DWORD type = REG_NONE;
    DWORD size = static_cast<DWORD>(value->data.size());
    const LONG result = RegQueryValueExW(key, name, nullptr, &type, value->data.empty() ? nullptr : value->data.data(),
                                         &size);
    if (result == ERROR_FILE_NOT_FOUND) {
      value->data.clear();
      return ERROR_SUCCESS;
    }
    const bool sizeOnly = result == ERROR_SUCCESS && value->data.empty() && size > 0;
    if (result == ERROR_MORE_DATA || sizeOnly) {
      value->data.resize(size);
      continue;
    }
    if (result != ERROR_SUCCESS) return result;
    value->present = true;
    value->type = type;
    value->data.resize(size);
    return ERROR_SUCCESS;
  }
  return ERROR_MORE_DATA;
}

// Writes the value back as it was read: the same type and bytes, or no value.
LONG WriteValue(HKEY key, const wchar_t* name, const SavedValue& value) {
  if (!value.present) {
    const LONG result = RegDeleteValueW(key, name);
    return result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : result;
  }
  return RegSetValueExW(key, name, 0, value.type, value.data.empty() ? nullptr : value.data.data(),
                        static_cast<DWORD>(value.data.size()));
}

LONG WriteText(HKEY key, const wchar_t* name, const std::wstring& text) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

// Whether a default value names the program id (as a string, in any case, as the shell
// compares ids).
bool NamesProgId(const SavedValue& value) {
  if (!value.present || (value.type != REG_SZ && value.type != REG_EXPAND_SZ)) return false;
  std::wstring text(reinterpret_cast<const wchar_t*>(value.data.data()), value.data.size() / sizeof(wchar_t));
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  return lstrcmpiW(text.c_str(), kAssociationProgId) == 0;
}

bool KeyExists(HKEY root, const wchar_t* subkey) {
  Key key;
  return RegOpenKeyExW(root, subkey, 0, KEY_QUERY_VALUE, key.out()) != ERROR_FILE_NOT_FOUND;
}

std::string KeyName(const ClassesRoot& root, const std::wstring& subkey) {
  std::string narrow;
  if (!NarrowFromWide(subkey.data(), subkey.size(), &narrow)) narrow = "?";
  return root.name + "\\" + narrow;
}

// The system's words for a registry error, without the full stop they end in.
std::string ErrorText(LONG code) {
  char text[256] = {};
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == ' ' ||
                        text[length - 1] == '.')) {
    text[--length] = '\0';
  }
  if (length == 0) return "error " + std::to_string(code);
  return text;
}

// "<what>: the registry key "<key>" could not be <verb> (<reason>)."
std::string KeyFailure(const char* what, const ClassesRoot& root, const std::wstring& subkey, const char* verb,
                       LONG code) {
  return std::string(what) + ": the registry key \"" + KeyName(root, subkey) + "\" could not be " + verb + " (" +
         ErrorText(code) + ").";
}

// Sets a key's default value, making the key (and those above it) where it is missing.
LONG WriteKeyDefault(HKEY root, const std::wstring& subkey, const std::wstring& text) {
  Key key;
  LONG result = RegCreateKeyExW(root, subkey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.out(), nullptr);
  if (result != ERROR_SUCCESS) return result;
  return WriteText(key.get(), nullptr, text);
}

// The program id's key: its name, its icon and its command. *failedKey names the key that
// could not be written.
LONG WriteProgId(HKEY root, const std::wstring& exePath, std::wstring* failedKey) {
  const std::wstring id = kAssociationProgId;
  const std::wstring quoted = L"\"" + exePath + L"\"";
  const struct {
    std::wstring subkey, text;
  } defaults[] = {
      {id, kAssociationTypeName},
      {id + L"\\DefaultIcon", quoted + L",0"},
      {id + L"\\shell\\open\\command", quoted + L" \"%1\""},
  };
  for (const auto& entry : defaults) {
    const LONG result = WriteKeyDefault(root, entry.subkey, entry.text);
    if (result != ERROR_SUCCESS) {
      *failedKey = entry.subkey;
      return result;
    }
  }
  return ERROR_SUCCESS;
}

LONG DeleteProgId(HKEY root) {
  const LONG result = static_cast<LONG>(SHDeleteKeyW(root, kAssociationProgId));
  return result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : result;
}

LONG ReadExtension(HKEY root, const wchar_t* extension, ExtensionState* state) {
  *state = ExtensionState();
  state->extension = extension;
  Key key;
  LONG result = RegOpenKeyExW(root, extension, 0, KEY_QUERY_VALUE, key.out());
  if (result == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (result != ERROR_SUCCESS) return result;
  state->existed = true;
  result = ReadValue(key.get(), nullptr, &state->defaultValue);
  if (result == ERROR_SUCCESS) result = ReadValue(key.get(), kPreviousOwnerValue, &state->previousOwner);
  if (result == ERROR_SUCCESS) result = ReadValue(key.get(), kCreatedKeyValue, &state->createdKey);
  return result;
}

bool SameValue(const SavedValue& a, const SavedValue& b) {
  if (a.present != b.present) return false;
  return !a.present || (a.type == b.type && a.data == b.data);
}

// Puts an extension's key back as it was read: the values the association touches, or no
// key at all where there was none (a key another program gave subkeys since then stays).
// Only what differs now is written, so a key that refused the change is not written again.
LONG RestoreExtension(HKEY root, const ExtensionState& state) {
  ExtensionState now;
  LONG result = ReadExtension(root, state.extension, &now);
  if (result != ERROR_SUCCESS) return result;
  if (!state.existed) {
    if (!now.existed) return ERROR_SUCCESS;
    result = RegDeleteKeyW(root, state.extension);
    return result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : result;
  }
  const struct {
    const wchar_t* name;
    const SavedValue& was;
    const SavedValue& is;
  } values[] = {
      {nullptr, state.defaultValue, now.defaultValue},
      {kPreviousOwnerValue, state.previousOwner, now.previousOwner},
      {kCreatedKeyValue, state.createdKey, now.createdKey},
  };
  bool differs = !now.existed;
  for (const auto& value : values) differs = differs || !SameValue(value.was, value.is);
  if (!differs) return ERROR_SUCCESS;
  // A key the association made and removed again comes back (it held nothing else).
  Key key;
  result = RegCreateKeyExW(root, state.extension, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.out(), nullptr);
  for (const auto& value : values) {
    if (result != ERROR_SUCCESS) break;
    if (now.existed && SameValue(value.was, value.is)) continue;
    result = WriteValue(key.get(), value.name, value.was);
  }
  return result;
}

// Points an extension at the program id, remembering its previous default value, or that
// its key is the association's own.
LONG TakeExtension(HKEY root, const ExtensionState& state) {
  Key key;
  DWORD disposition = 0;
  LONG result = RegCreateKeyExW(root, state.extension, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.out(), &disposition);
  if (result != ERROR_SUCCESS) return result;
  // The previous owner is what the default value is now; none, when there is none.
  result = WriteValue(key.get(), kPreviousOwnerValue, state.defaultValue);
  if (result == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY) {
    const DWORD created = 1;
    result = RegSetValueExW(key.get(), kCreatedKeyValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&created),
                            sizeof created);
  }
  if (result == ERROR_SUCCESS) result = WriteText(key.get(), nullptr, kAssociationProgId);
  return result;
}

bool KeyIsEmpty(HKEY key) {
  DWORD subkeys = 0, values = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                       nullptr, nullptr) != ERROR_SUCCESS)
    return false;
  return subkeys == 0 && values == 0;
}

// Takes the association's values away from an extension's key: its default value goes back
// to the previous owner (or goes) only while it still names the program id, and a key the
// association made goes when nothing else is left in it.
LONG ReleaseExtension(HKEY root, const ExtensionState& state) {
  Key key;
  LONG result = RegOpenKeyExW(root, state.extension, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, key.out());
  if (result != ERROR_SUCCESS) return result;
  if (NamesProgId(state.defaultValue)) {
    result = WriteValue(key.get(), nullptr, state.previousOwner);
    if (result != ERROR_SUCCESS) return result;
  }
  SavedValue none;
  result = WriteValue(key.get(), kPreviousOwnerValue, none);
  if (result == ERROR_SUCCESS) result = WriteValue(key.get(), kCreatedKeyValue, none);
  if (result != ERROR_SUCCESS) return result;
  if (!state.createdKey.present || !KeyIsEmpty(key.get())) return ERROR_SUCCESS;
  key.Close();
  result = RegDeleteKeyW(root, state.extension);
  return result == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : result;
}

// Puts the extensions changed so far back, newest first; the message of what could not be
// put back, or "" when everything was.
std::string RollBack(const ClassesRoot& root, const std::vector<ExtensionState>& changed) {
  std::string failures;
  for (auto it = changed.rbegin(); it != changed.rend(); ++it) {
    const LONG result = RestoreExtension(root.key, *it);
    if (result == ERROR_SUCCESS) continue;
    failures += " \"" + KeyName(root, it->extension) + "\" (" + ErrorText(result) + ")";
  }
  if (failures.empty()) return "";
  return " What was written already could not all be put back:" + failures + ".";
}

// Opens the current user's classes for reading and writing, making the key where it is missing.
LONG OpenUserClasses(Key* key) {
  return RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                         key->out(), nullptr);
}

std::string UserClassesFailure(const char* what, LONG code) {
  return std::string(what) + ": the registry key \"" + kUserClassesName + "\" could not be opened (" +
         ErrorText(code) + ").";
}

void TellShellAssociationsChanged() { SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr); }

}  // namespace

bool IsAssociated(const ClassesRoot& root) {
  for (const wchar_t* extension : kAssociatedExtensions) {
    ExtensionState state;
    if (ReadExtension(root.key, extension, &state) != ERROR_SUCCESS || !NamesProgId(state.defaultValue)) return false;
  }
  return true;
}

bool Associate(const ClassesRoot& root, const std::wstring& exePath, std::string* error) {
  error->clear();
  if (exePath.empty()) {
    *error = std::string(kTurnOnFailed) + ": the program's own path is not known.";
    return false;
  }
  const bool progIdExisted = KeyExists(root.key, kAssociationProgId);
  std::wstring failedKey;
  LONG result = WriteProgId(root.key, exePath, &failedKey);
  std::vector<ExtensionState> changed;
  const char* verb = "written";
  if (result == ERROR_SUCCESS) {
    for (const wchar_t* extension : kAssociatedExtensions) {
      ExtensionState state;
      failedKey = extension;
      result = ReadExtension(root.key, extension, &state);
      if (result != ERROR_SUCCESS) {
        verb = "read";
        break;
      }
      if (NamesProgId(state.defaultValue)) continue;  // already ours: what it remembers stays
      changed.push_back(state);
      result = TakeExtension(root.key, state);
      if (result != ERROR_SUCCESS) break;
    }
  }
  if (result == ERROR_SUCCESS) return true;

  *error = KeyFailure(kTurnOnFailed, root, failedKey, verb, result);
  std::string left = RollBack(root, changed);
  if (!progIdExisted) {
    const LONG removed = DeleteProgId(root.key);
    if (removed != ERROR_SUCCESS) {
      left += " The registry key \"" + KeyName(root, kAssociationProgId) + "\" could not be removed again (" +
              ErrorText(removed) + ").";
    }
  }
  *error += left.empty() ? " Nothing was changed." : left;
  return false;
}

bool Dissociate(const ClassesRoot& root, std::string* error) {
  error->clear();
  std::vector<ExtensionState> changed;
  for (const wchar_t* extension : kAssociatedExtensions) {
    ExtensionState state;
    LONG result = ReadExtension(root.key, extension, &state);
    const char* verb = "read";
    if (result == ERROR_SUCCESS) {
      // A key that holds nothing of the association is not opened for writing at all.
      if (!state.existed || (!NamesProgId(state.defaultValue) && !state.previousOwner.present &&
                             !state.createdKey.present))
        continue;
      changed.push_back(state);
      result = ReleaseExtension(root.key, state);
      verb = "written";
    }
    if (result != ERROR_SUCCESS) {
      *error = KeyFailure(kTurnOffFailed, root, extension, verb, result);
      const std::string left = RollBack(root, changed);
      *error += left.empty() ? " Nothing was changed." : left;
      return false;
    }
  }
  // Last, once no extension names it any more.
  const LONG result = DeleteProgId(root.key);
  if (result == ERROR_SUCCESS) return true;
  *error = KeyFailure(kTurnOffFailed, root, kAssociationProgId, "removed", result) +
           " The files no longer open with Vellumix; the key can be removed by turning the option on and off again.";
  return false;
}

bool IsAssociated() {
  Key key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, KEY_READ, key.out()) != ERROR_SUCCESS) return false;
  ClassesRoot root;
  root.key = key.get();
  root.name = kUserClassesName;
  return IsAssociated(root);
}

namespace {

// Runs change on the current user's classes and tells the shell afterwards, whatever came of
// it; a key that cannot be opened is named with failed.
template <typename Change>
bool ChangeUserClasses(const char* failed, std::string* error, Change change) {
  Key key;
  const LONG result = OpenUserClasses(&key);
  if (result != ERROR_SUCCESS) {
    *error = UserClassesFailure(failed, result);
    return false;
  }
  ClassesRoot root;
  root.key = key.get();
  root.name = kUserClassesName;
  const bool changed = change(root);
  TellShellAssociationsChanged();
  return changed;
}

}  // namespace

bool Associate(const std::wstring& exePath, std::string* error) {
  return ChangeUserClasses(kTurnOnFailed, error,
                           [&](const ClassesRoot& root) { return Associate(root, exePath, error); });
}

bool Dissociate(std::string* error) {
  return ChangeUserClasses(kTurnOffFailed, error, [&](const ClassesRoot& root) { return Dissociate(root, error); });
}

bool ProgramPath(std::wstring* path) {
  path->clear();
  for (DWORD size = MAX_PATH; size <= kLongestModulePath; size *= 2) {
    std::wstring buffer(size, L'\0');
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetModuleFileNameW(nullptr, &buffer[0], size);
    if (length == 0) return false;
    // A path cut to the buffer fills it whole (and on newer systems says so).
    if (length < size && GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
      buffer.resize(length);
      *path = buffer;
      return true;
    }
  }
  return false;
}
