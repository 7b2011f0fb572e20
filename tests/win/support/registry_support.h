// The registry as the tests set it up and read it back: keys' default values, the names of
// their values and subkeys, whole trees removed, and keys the user may no longer change.
// Key paths and texts are UTF-8. Header only: the end-to-end tests use it too.
#pragma once

#include <windows.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "tests/win/support/unicode_support.h"

// Sets a key's default value to text (REG_SZ), making the key where it is missing.
inline bool SetRegistryDefault(HKEY root, const std::string& key, const std::string& value) {
  HKEY hkey;
  if (RegCreateKeyExW(root, WideOf(key).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &hkey, nullptr) != ERROR_SUCCESS)
    return false;
  const std::wstring wide = WideOf(value);
  const LONG r = RegSetValueExW(hkey, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                                static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(hkey);
  return r == ERROR_SUCCESS;
}

// A value of a key (nullptr or "": its default value) as text; false when the key or the
// value is missing or the value is not text.
inline bool RegistryText(HKEY root, const std::string& key, const char* name, std::string* text) {
  text->clear();
  HKEY hkey;
  if (RegOpenKeyExW(root, WideOf(key).c_str(), 0, KEY_QUERY_VALUE, &hkey) != ERROR_SUCCESS) return false;
  const std::wstring valueName = name ? WideOf(name) : std::wstring();
  wchar_t buffer[2048] = {};
  DWORD type = 0, size = sizeof buffer - sizeof(wchar_t);
  const LONG r = RegQueryValueExW(hkey, valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(hkey);
  if (r != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
  std::wstring wide(buffer, size / sizeof(wchar_t));
  while (!wide.empty() && wide.back() == L'\0') wide.pop_back();
  *text = Utf8Of(wide);
  return true;
}

// A key's default value as text, or "(none)" when it has none and "(no key)" without the key.
inline std::string RegistryDefault(HKEY root, const std::string& key) {
  HKEY hkey;
  if (RegOpenKeyExW(root, WideOf(key).c_str(), 0, KEY_QUERY_VALUE, &hkey) != ERROR_SUCCESS) return "(no key)";
  RegCloseKey(hkey);
  std::string text;
  return RegistryText(root, key, nullptr, &text) ? text : "(none)";
}

inline bool RegistryKeyExists(HKEY root, const std::string& key) {
  HKEY hkey;
  if (RegOpenKeyExW(root, WideOf(key).c_str(), 0, KEY_QUERY_VALUE, &hkey) != ERROR_SUCCESS) return false;
  RegCloseKey(hkey);
  return true;
}

// The names of a key's values ("" for its default value) or of its subkeys, in the
// registry's order.
inline std::vector<std::string> RegistryNames(HKEY root, const std::string& key, bool subkeys) {
  std::vector<std::string> names;
  HKEY hkey;
  if (RegOpenKeyExW(root, WideOf(key).c_str(), 0, KEY_READ, &hkey) != ERROR_SUCCESS) return names;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256] = {};
    DWORD length = 256;
    const LONG r = subkeys ? RegEnumKeyExW(hkey, i, name, &length, nullptr, nullptr, nullptr, nullptr)
                           : RegEnumValueW(hkey, i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (r != ERROR_SUCCESS) break;
    names.push_back(Utf8Of(std::wstring(name, length)));
  }
  RegCloseKey(hkey);
  return names;
}
inline std::vector<std::string> RegistryValueNames(HKEY root, const std::string& key) {
  return RegistryNames(root, key, false);
}
inline std::vector<std::string> RegistrySubkeys(HKEY root, const std::string& key) {
  return RegistryNames(root, key, true);
}

// Removes a key with everything below it; true when it is gone (or was never there).
inline bool DeleteRegistryTree(HKEY root, const std::string& key) {
  const DWORD r = SHDeleteKeyW(root, WideOf(key).c_str());
  return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND;
}

// Gives a key an access list that denies everyone the rights given and allows them the rest
// (no rights: allows everything again). The key must exist; false when the list could not be set.
inline bool DenyRegistryRights(HKEY root, const std::string& key, DWORD rights) {
  HKEY hkey;
  if (RegOpenKeyExW(root, WideOf(key).c_str(), 0, WRITE_DAC, &hkey) != ERROR_SUCCESS) return false;
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  bool set = false;
  if (AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone)) {
    const DWORD aceSize = sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(everyone);
    std::vector<BYTE> list(sizeof(ACL) + 2 * aceSize);
    ACL* acl = reinterpret_cast<ACL*>(list.data());
    SECURITY_DESCRIPTOR descriptor;
    set = InitializeAcl(acl, static_cast<DWORD>(list.size()), ACL_REVISION) &&
          (rights == 0 || AddAccessDeniedAce(acl, ACL_REVISION, rights, everyone)) &&
          AddAccessAllowedAce(acl, ACL_REVISION, KEY_ALL_ACCESS, everyone) &&
          InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
          SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE) &&
          RegSetKeySecurity(hkey, DACL_SECURITY_INFORMATION, &descriptor) == ERROR_SUCCESS;
    FreeSid(everyone);
  }
  RegCloseKey(hkey);
  return set;
}
