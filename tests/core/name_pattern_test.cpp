// The name patterns of Find and the search of a document's tree with them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "panes/core/name_pattern.h"
#include "tests/core/writer_support.h"

namespace {

TEST(NamePattern, WildcardsAndCase) {
  struct Case {
    const char* pattern;
    const char* name;
    bool matches;
  };
  const Case cases[] = {
      {"*.wav", "beep.wav", true},
      {"*.wav", "BEEP.WAV", true},
      {"*.WAV", "beep.wav", true},
      {"*.wav", "beep.wav.bak", false},
      {"*.wav", ".wav", true},
      {"e?m1.bsp", "e1m1.bsp", true},
      {"e?m1.bsp", "em1.bsp", false},
      {"e?m1.bsp", "e12m1.bsp", false},
      {"*", "", true},
      {"*", "anything", true},
      {"?", "", false},
      {"", "", true},
      {"", "a", false},
      {"a*b*c", "abc", true},
      {"a*b*c", "axxbyyc", true},
      {"a*b*c", "axxbyy", false},
      {"**a**", "bab", true},
      {"*a", "aaa", true},
      {"*ab", "aab", true},
      {"*ab", "aaba", false},
      {"*?*", "x", true},
      {"*?*", "", false},
      {"pak0.pak", "PAK0.PAK", true},
      // Letters only: other bytes match themselves alone.
      {"\xC4*", "\xE4x", false},
      {"[ab]", "[ab]", true},
      {"[ab]", "a", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.pattern) + " / " + c.name);
    EXPECT_EQ(WildcardMatches(c.pattern, c.name), c.matches);
  }
}

// A pattern of many stars against a long name that almost matches: a backtracking
// matcher takes exponential time here, this one a moment.
TEST(NamePattern, ManyStarsOnALongNameStayQuick) {
  const std::string name(4000, 'a');
  EXPECT_FALSE(WildcardMatches("*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b", name.c_str()));
  EXPECT_TRUE(WildcardMatches("*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*", name.c_str()));
}

TEST(NamePattern, TypedTextWithoutWildcardsFindsNamesContainingIt) {
  struct Case {
    const char* typed;
    const char* name;
    bool matches;
  };
  const Case cases[] = {
      {"m1", "e1m1.bsp", true},    {"E1M", "e1m1.bsp", true}, {"x", "e1m1.bsp", false},
      {"  *.bsp ", "e1m1.bsp", true}, {"   ", "e1m1.bsp", false}, {"", "", false},
      {"*.bsp", "e1m1.bsp.txt", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("'") + c.typed + "' / " + c.name);
    EXPECT_EQ(NamePattern(c.typed).Matches(c.name), c.matches);
  }
  EXPECT_TRUE(NamePattern(" \t").Empty());
}

TEST(NamePattern, SearchFindsFilesAndFoldersWithTheirFolders) {
  TestDocument doc;
  ASSERT_TRUE(doc.ok());
  doc.tree().SetKeepsCase(true);
  const std::vector<uint8_t> bytes = {1, 2, 3};
  ASSERT_NE(doc.AddPath("maps/e1m1.bsp", bytes), nullptr);
  ASSERT_NE(doc.AddPath("maps/e1/e1m2.BSP", bytes), nullptr);
  ASSERT_NE(doc.AddPath("sound/e1/beep.wav", bytes), nullptr);
  ASSERT_NE(doc.AddPath("readme.txt", bytes), nullptr);
  struct Case {
    const char* typed;
    std::vector<std::string> found;  // "folder|name"
  };
  const Case cases[] = {
      {"*.bsp", {"/maps|e1m1.bsp", "/maps/e1|e1m2.BSP"}},
      {"e1", {"/maps|e1", "/maps|e1m1.bsp", "/maps/e1|e1m2.BSP", "/sound|e1"}},
      {"readme.???", {"/|readme.txt"}},
      {"maps", {"/|maps"}},
      {"*.pak", {}},
      {"", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    std::vector<std::string> found;
    for (const Node* n : FindMatchingNodes(doc.root(), NamePattern(c.typed)))
      found.push_back(FolderPathOf(n) + "|" + n->name());
    std::vector<std::string> expected = c.found;
    std::sort(found.begin(), found.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(found, expected);
  }
}

}  // namespace
