// "Open .pak, .pk3, .pk4 and .wad files with Vellumix" in the Options dialog, and the file
// associations behind it: what is written under the user's classes and taken away again,
// what a previous owner of an extension gets back, what a program that took an extension
// over since keeps, and registry failures rolled back and reported.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "resources/command_ids.h"
#include "resources/shell_ids.h"
#include "services/file_associations.h"
#include "services/settings.h"
#include "tests/win/support/dialog_watch_support.h"
#include "tests/win/support/frame_test_support.h"
#include "tests/win/support/registry_support.h"
#include "tests/win/support/screenshot.h"
#include "tests/win/support/unicode_support.h"

namespace {

using Names = std::vector<std::string>;

const char kUserClasses[] = "Software\\Classes";
const char kTestArea[] = "Software\\Quillmoor\\VellumixTest";
const char kTestClasses[] = "Software\\Quillmoor\\VellumixTest\\Classes";
const char* const kExtensions[] = {".pak", ".pk3", ".pk4", ".wad"};
const char kProgId[] = "Vellumix.Archive";
const char kCheckBoxText[] = "&Open .pak, .pk3, .pk4 and .wad files with Vellumix";

std::string Under(const char* classes, const std::string& key) { return std::string(classes) + "\\" + key; }

Names Sorted(Names names) {
  std::sort(names.begin(), names.end());
  return names;
}

// Takes every trace of the association, and of the tests' own presets, out of a classes
// key; the keys a test made unchangeable are made changeable first. Nothing else in the
// test prefix uses these extensions.
void ClearAssociations(const char* classes) {
  for (const char* extension : kExtensions) {
    DenyRegistryRights(HKEY_CURRENT_USER, Under(classes, extension), 0);
    DeleteRegistryTree(HKEY_CURRENT_USER, Under(classes, extension));
  }
  for (const char* sub : {"", "\\shell", "\\shell\\open", "\\shell\\open\\command", "\\DefaultIcon"}) {
    DenyRegistryRights(HKEY_CURRENT_USER, Under(classes, kProgId) + sub, 0);
  }
  DeleteRegistryTree(HKEY_CURRENT_USER, Under(classes, kProgId));
}

std::string OwnPath() {
  std::wstring path;
  return ProgramPath(&path) ? Utf8Of(path) : "";
}

// What the Options dialog showed when it opened, and whether its controls lie apart.
struct OptionsSeen {
  bool associated = false;
  bool keepCase = false;
  std::string boxText;
  bool controlsApart = true;
};

BOOL CALLBACK CollectRect(HWND child, LPARAM lParam) {
  RECT rect;
  GetWindowRect(child, &rect);
  reinterpret_cast<std::vector<RECT>*>(lParam)->push_back(rect);
  return TRUE;
}

OptionsSeen ReadOptions(HWND dialog) {
  OptionsSeen seen;
  seen.associated = SendDlgItemMessageA(dialog, IDC_OPTIONS_ASSOCIATE, BM_GETCHECK, 0, 0) == BST_CHECKED;
  seen.keepCase = SendDlgItemMessageA(dialog, IDC_OPTIONS_KEEP_CASE, BM_GETCHECK, 0, 0) == BST_CHECKED;
  seen.boxText = DialogItemText(dialog, IDC_OPTIONS_ASSOCIATE);
  std::vector<RECT> rects;
  EnumChildWindows(dialog, CollectRect, reinterpret_cast<LPARAM>(&rects));
  RECT client;
  GetClientRect(dialog, &client);
  MapWindowPoints(dialog, nullptr, reinterpret_cast<POINT*>(&client), 2);
  for (size_t i = 0; i < rects.size(); ++i) {
    RECT inside;
    if (!IntersectRect(&inside, &rects[i], &client) || !EqualRect(&inside, &rects[i])) seen.controlsApart = false;
    for (size_t j = i + 1; j < rects.size(); ++j) {
      RECT both;
      if (IntersectRect(&both, &rects[i], &rects[j])) seen.controlsApart = false;
    }
  }
  return seen;
}

class FileAssociationsTest : public FrameTest {
 protected:
  void SetUp() override {
    ClearAssociations(kUserClasses);
    ClearAssociations(kTestClasses);
    DeleteRegistryTree(HKEY_CURRENT_USER, kTestArea);
    FrameTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kTestClasses, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root_.key,
                              nullptr),
              ERROR_SUCCESS);
    root_.name = std::string("HKEY_CURRENT_USER\\") + kTestClasses;
  }
  void TearDown() override {
    if (root_.key) RegCloseKey(root_.key);
    FrameTest::TearDown();
    ClearAssociations(kUserClasses);
    ClearAssociations(kTestClasses);
    DeleteRegistryTree(HKEY_CURRENT_USER, kTestArea);
  }

  // Opens View > Options; act answers it on the watcher's thread, after what it showed was read.
  OptionsSeen RunOptions(const std::function<void(HWND)>& act) {
    OptionsSeen seen;
    DialogWatcher options("Options", 0, 10000, [&](HWND dialog) {
      WaitForDialogReady(dialog);
      seen = ReadOptions(dialog);
      act(dialog);
    });
    SendMessageA(frame_, WM_COMMAND, ID_VIEW_OPTIONS, 0);
    EXPECT_TRUE(options.Wait().found);
    return seen;
  }
  static void Click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

  std::string TestKey(const std::string& key) const { return Under(kTestClasses, key); }
  std::string Default(const std::string& key) const { return RegistryDefault(HKEY_CURRENT_USER, TestKey(key)); }
  Names Values(const std::string& key) const { return Sorted(RegistryValueNames(HKEY_CURRENT_USER, TestKey(key))); }
  Names Subkeys(const std::string& key) const { return RegistrySubkeys(HKEY_CURRENT_USER, TestKey(key)); }

  ClassesRoot root_;
};

// The box, the user's own classes written as the shell reads them, the box checked when the
// dialog opens again, Cancel changing nothing, and everything gone once the box is cleared.
TEST_F(FileAssociationsTest, TheOptionsBoxAssociatesTheArchiveTypesAndTakesThemBack) {
  const std::string exe = OwnPath();
  ASSERT_FALSE(exe.empty());
  OptionsSeen seen = RunOptions([](HWND dialog) {
    Click(dialog, IDC_OPTIONS_ASSOCIATE);
    // A picture of the dialog with both boxes, for people to look at.
    UpdateWindow(dialog);
    WaitUntilDrawn(dialog);
    SaveScreenshotTo(VELLUMIX_SCREENSHOT_DIR, "options-dialog");
    Click(dialog, IDOK);
  });
  EXPECT_FALSE(seen.associated);
  EXPECT_FALSE(seen.keepCase);
  EXPECT_EQ(seen.boxText, kCheckBoxText);
  EXPECT_TRUE(seen.controlsApart);
  EXPECT_FALSE(g_settings.keepCase);  // the other box stays as it was

  for (const char* extension : kExtensions) {
    SCOPED_TRACE(extension);
    const std::string key = Under(kUserClasses, extension);
    EXPECT_EQ(RegistryDefault(HKEY_CURRENT_USER, key), kProgId);
    // A key of its own: it says so, and has no previous owner to give back.
    EXPECT_EQ(Sorted(RegistryValueNames(HKEY_CURRENT_USER, key)), (Names{"", "Vellumix.CreatedKey"}));
  }
  const std::string id = Under(kUserClasses, kProgId);
  EXPECT_EQ(RegistryDefault(HKEY_CURRENT_USER, id), "Game data archive");
  EXPECT_EQ(RegistryDefault(HKEY_CURRENT_USER, id + "\\DefaultIcon"), "\"" + exe + "\",0");
  EXPECT_EQ(RegistryDefault(HKEY_CURRENT_USER, id + "\\shell\\open\\command"), "\"" + exe + "\" \"%1\"");
  EXPECT_TRUE(IsAssociated());

  // Shown checked from the registry; cleared and cancelled, it changes nothing.
  seen = RunOptions([](HWND dialog) {
    Click(dialog, IDC_OPTIONS_ASSOCIATE);
    Click(dialog, IDCANCEL);
  });
  EXPECT_TRUE(seen.associated);
  EXPECT_TRUE(IsAssociated());

  // A registry that lost one extension shows the box cleared.
  ASSERT_TRUE(SetRegistryDefault(HKEY_CURRENT_USER, Under(kUserClasses, ".pk4"), "Other.pk4file"));
  seen = RunOptions([](HWND dialog) { Click(dialog, IDCANCEL); });
  EXPECT_FALSE(seen.associated);
  ASSERT_TRUE(SetRegistryDefault(HKEY_CURRENT_USER, Under(kUserClasses, ".pk4"), kProgId));

  seen = RunOptions([](HWND dialog) {
    Click(dialog, IDC_OPTIONS_ASSOCIATE);
    Click(dialog, IDOK);
  });
  EXPECT_TRUE(seen.associated);
  for (const char* extension : kExtensions) {
    EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, Under(kUserClasses, extension))) << extension;
  }
  EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, id));
  EXPECT_FALSE(IsAssociated());
  seen = RunOptions([](HWND dialog) { Click(dialog, IDCANCEL); });
  EXPECT_FALSE(seen.associated);
}

// Each kind of extension key there was before: none, one owned by another program with more
// in it, one with only a subkey. Associating again keeps what was remembered, and taking the
// association away gives each back exactly, with a program path in any script.
TEST_F(FileAssociationsTest, PreviousOwnersGetTheirExtensionsBackWithEverythingElseInThem) {
  ASSERT_TRUE(SetRegistryDefault(HKEY_CURRENT_USER, TestKey(".pk3"), "Other.pk3file"));
  ASSERT_TRUE(SetRegistryDefault(HKEY_CURRENT_USER, TestKey(".pk3\\OpenWithProgids"), ""));
  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, TestKey(".pk3").c_str(), 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "Content Type", 0, REG_SZ, reinterpret_cast<const BYTE*>("application/zip"), 16),
            ERROR_SUCCESS);
  RegCloseKey(key);
  ASSERT_TRUE(SetRegistryDefault(HKEY_CURRENT_USER, TestKey(".pk4\\ShellNew"), ""));

  const std::string exe = std::string("C:\\") + kUnicodeFolderName + "\\vellumix.exe";
  std::string error;
  ASSERT_TRUE(Associate(root_, WideOf(exe), &error)) << error;
  EXPECT_TRUE(IsAssociated(root_));
  for (const char* extension : kExtensions) EXPECT_EQ(Default(extension), kProgId) << extension;
  EXPECT_EQ(Values(".pk3"), (Names{"", "Content Type", "Vellumix.PreviousOwner"}));
  std::string previous;
  EXPECT_TRUE(RegistryText(HKEY_CURRENT_USER, TestKey(".pk3"), "Vellumix.PreviousOwner", &previous));
  EXPECT_EQ(previous, "Other.pk3file");
  EXPECT_EQ(Values(".pk4"), (Names{""}));  // it had no default value to remember
  EXPECT_EQ(Default(std::string(kProgId) + "\\shell\\open\\command"), "\"" + exe + "\" \"%1\"");
  EXPECT_EQ(Default(std::string(kProgId) + "\\DefaultIcon"), "\"" + exe + "\",0");

  // Associating again, as after the program moved: the previous owner is not replaced by us.
  const std::string moved = "D:\\Tools\\vellumix.exe";
  ASSERT_TRUE(Associate(root_, WideOf(moved), &error)) << error;
  EXPECT_TRUE(RegistryText(HKEY_CURRENT_USER, TestKey(".pk3"), "Vellumix.PreviousOwner", &previous));
  EXPECT_EQ(previous, "Other.pk3file");
  EXPECT_EQ(Default(std::string(kProgId) + "\\shell\\open\\command"), "\"" + moved + "\" \"%1\"");

  ASSERT_TRUE(Dissociate(root_, &error)) << error;
  EXPECT_TRUE(error.empty());
  EXPECT_FALSE(IsAssociated(root_));
  EXPECT_EQ(Default(".pak"), "(no key)");
  EXPECT_EQ(Default(".wad"), "(no key)");
  EXPECT_EQ(Default(".pk3"), "Other.pk3file");
  EXPECT_EQ(Values(".pk3"), (Names{"", "Content Type"}));
  EXPECT_EQ(Subkeys(".pk3"), (Names{"OpenWithProgids"}));
  EXPECT_EQ(Default(".pk4"), "(none)");
  EXPECT_EQ(Values(".pk4"), Names{});
  EXPECT_EQ(Subkeys(".pk4"), (Names{"ShellNew"}));
  EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, TestKey(kProgId)));

  // Nothing to take away: still a success, and nothing changes.
  ASSERT_TRUE(Dissociate(root_, &error)) << error;
  EXPECT_EQ(Default(".pk3"), "Other.pk3file");
}

// Extensions other programs took over after the association: off leaves them to their new
// owners (also a key the association made, which has more in it now), and the box is no
// longer shown checked.
TEST_F(FileAssociationsTest, ExtensionsTakenOverSinceAreLeftToTheirNewOwners) {
  ASSERT_TRUE(SetRegistryDefault(HKEY_CURRENT_USER, TestKey(".pk3"), "Other.pk3file"));
  std::string error;
  ASSERT_TRUE(Associate(root_, L"C:\\Games\\vellumix.exe", &error)) << error;
  ASSERT_TRUE(SetRegistryDefault(HKEY_CURRENT_USER, TestKey(".pk3"), "Newer.pk3file"));
  ASSERT_TRUE(SetRegistryDefault(HKEY_CURRENT_USER, TestKey(".wad"), "WadEditor.wad"));
  ASSERT_TRUE(SetRegistryDefault(HKEY_CURRENT_USER, TestKey(".wad\\OpenWithProgids"), ""));
  // A key the association made, given a subkey by another program while still ours.
  ASSERT_TRUE(SetRegistryDefault(HKEY_CURRENT_USER, TestKey(".pak\\ShellEx"), ""));
  EXPECT_FALSE(IsAssociated(root_));

  ASSERT_TRUE(Dissociate(root_, &error)) << error;
  EXPECT_EQ(Default(".pk3"), "Newer.pk3file");
  EXPECT_EQ(Values(".pk3"), (Names{""}));  // what it remembered of the owner before goes with us
  EXPECT_EQ(Default(".wad"), "WadEditor.wad");
  EXPECT_EQ(Subkeys(".wad"), (Names{"OpenWithProgids"}));
  EXPECT_EQ(Default(".pak"), "(none)");
  EXPECT_EQ(Values(".pak"), Names{});
  EXPECT_EQ(Subkeys(".pak"), (Names{"ShellEx"}));
  EXPECT_EQ(Default(".pk4"), "(no key)");
  EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, TestKey(kProgId)));
}

// A key that cannot be written stops the change: what was written before it is put back,
// and the message names the key. Each of turning on, turning off and removing the program
// id's key.
TEST_F(FileAssociationsTest, RegistryFailuresArePutBackAndNamed) {
  ASSERT_TRUE(SetRegistryDefault(HKEY_CURRENT_USER, TestKey(".pk3"), "Other.pk3file"));
  ASSERT_TRUE(SetRegistryDefault(HKEY_CURRENT_USER, TestKey(".wad"), "WadEditor.wad"));
  ASSERT_TRUE(DenyRegistryRights(HKEY_CURRENT_USER, TestKey(".wad"), KEY_SET_VALUE));
  const std::string wad = "\"HKEY_CURRENT_USER\\Software\\Quillmoor\\VellumixTest\\Classes\\.wad\"";

  std::string error;
  EXPECT_FALSE(Associate(root_, L"C:\\Games\\vellumix.exe", &error));
  const std::string turnOn = "Vellumix could not be set to open .pak, .pk3, .pk4 and .wad files: the registry key " +
                             wad + " could not be written (";
  EXPECT_EQ(error.substr(0, turnOn.size()), turnOn) << error;
  EXPECT_NE(error.find("). Nothing was changed."), std::string::npos) << error;
  EXPECT_EQ(Default(".pak"), "(no key)");
  EXPECT_EQ(Default(".pk3"), "Other.pk3file");
  EXPECT_EQ(Values(".pk3"), (Names{""}));
  EXPECT_EQ(Default(".pk4"), "(no key)");
  EXPECT_EQ(Default(".wad"), "WadEditor.wad");
  EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, TestKey(kProgId)));

  ASSERT_TRUE(DenyRegistryRights(HKEY_CURRENT_USER, TestKey(".wad"), 0));
  ASSERT_TRUE(Associate(root_, L"C:\\Games\\vellumix.exe", &error)) << error;
  ASSERT_TRUE(DenyRegistryRights(HKEY_CURRENT_USER, TestKey(".wad"), KEY_SET_VALUE));
  EXPECT_FALSE(Dissociate(root_, &error));
  const std::string turnOff = "Vellumix could not stop opening .pak, .pk3, .pk4 and .wad files: the registry key " +
                              wad + " could not be written (";
  EXPECT_EQ(error.substr(0, turnOff.size()), turnOff) << error;
  EXPECT_NE(error.find("). Nothing was changed."), std::string::npos) << error;
  EXPECT_TRUE(IsAssociated(root_));
  EXPECT_EQ(Values(".pk3"), (Names{"", "Vellumix.PreviousOwner"}));
  EXPECT_EQ(Values(".pak"), (Names{"", "Vellumix.CreatedKey"}));

  // The program id's key goes last: when it cannot, the extensions are free already.
  ASSERT_TRUE(DenyRegistryRights(HKEY_CURRENT_USER, TestKey(".wad"), 0));
  const std::string command = std::string(kProgId) + "\\shell\\open\\command";
  // A key whose subkeys cannot be listed cannot be removed with them.
  ASSERT_TRUE(DenyRegistryRights(HKEY_CURRENT_USER, TestKey(command), KEY_ENUMERATE_SUB_KEYS));
  EXPECT_FALSE(Dissociate(root_, &error));
  const std::string removal = "Vellumix could not stop opening .pak, .pk3, .pk4 and .wad files: the registry key "
                              "\"HKEY_CURRENT_USER\\Software\\Quillmoor\\VellumixTest\\Classes\\Vellumix.Archive\" "
                              "could not be removed (";
  EXPECT_EQ(error.substr(0, removal.size()), removal) << error;
  EXPECT_FALSE(IsAssociated(root_));
  EXPECT_EQ(Default(".pk3"), "Other.pk3file");
  EXPECT_EQ(Default(".wad"), "WadEditor.wad");
  EXPECT_EQ(Default(".pak"), "(no key)");
  ASSERT_TRUE(DenyRegistryRights(HKEY_CURRENT_USER, TestKey(command), 0));
  ASSERT_TRUE(Dissociate(root_, &error)) << error;
  EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, TestKey(kProgId)));
}

// The dialog's side of a failure: the message names the key, the dialog stays open with the
// box showing what the registry holds, and nothing is left written.
TEST_F(FileAssociationsTest, TheDialogReportsAKeyItCannotWriteAndShowsWhatIsSo) {
  const std::string wad = Under(kUserClasses, ".wad");
  ASSERT_TRUE(SetRegistryDefault(HKEY_CURRENT_USER, wad, "WadEditor.wad"));
  ASSERT_TRUE(DenyRegistryRights(HKEY_CURRENT_USER, wad, KEY_SET_VALUE));
  WatchedDialog box;
  bool shownAfter = true;
  bool stayedOpen = false;
  RunOptions([&](HWND dialog) {
    Click(dialog, IDC_OPTIONS_ASSOCIATE);
    // Posted: OK's answer is a message box, which waits for this thread to close it.
    DialogWatcher message("Vellumix", IDOK);
    PressDialogButton(dialog, IDOK);
    box = message.Wait();
    // Once the box is gone and the dialog's own loop has run again, OK's answer is complete.
    stayedOpen = PollUntil([] { return !FindOwnDialog("Vellumix"); }, 10000) && WaitForPostedMessagesOf(dialog) &&
                 IsWindowVisible(dialog);
    shownAfter = SendDlgItemMessageA(dialog, IDC_OPTIONS_ASSOCIATE, BM_GETCHECK, 0, 0) == BST_CHECKED;
    Click(dialog, IDCANCEL);
  });
  ASSERT_TRUE(box.found);
  const std::string named =
      "Vellumix could not be set to open .pak, .pk3, .pk4 and .wad files: the registry key "
      "\"HKEY_CURRENT_USER\\Software\\Classes\\.wad\" could not be written (";
  EXPECT_EQ(box.message.substr(0, named.size()), named) << box.message;
  EXPECT_NE(box.message.find("Nothing was changed."), std::string::npos) << box.message;
  EXPECT_TRUE(stayedOpen);
  EXPECT_FALSE(shownAfter);
  EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, Under(kUserClasses, ".pak")));
  EXPECT_FALSE(RegistryKeyExists(HKEY_CURRENT_USER, Under(kUserClasses, kProgId)));
  EXPECT_EQ(RegistryDefault(HKEY_CURRENT_USER, wad), "WadEditor.wad");
  EXPECT_FALSE(IsAssociated());
}

}  // namespace
