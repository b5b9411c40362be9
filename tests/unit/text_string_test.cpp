#include "base/text_string.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "base/characters.h"
#include "fake/fake_os.h"
#include "procs/comma_lists.h"

namespace {

TEST(TextStringStorage, StartsEmptyAndReservesZeroedArea) {
  TextString text;
  EXPECT_STREQ("", text.Text());
  ASSERT_TRUE(text.Reserve(10));
  for (int i = 0; i < 10; ++i) EXPECT_EQ('\0', text.Buffer()[i]);
  memcpy(text.Buffer(), "abc", 3);
  text.Compact();
  EXPECT_STREQ("abc", text.Text());
  EXPECT_EQ(3, text.Length());
}

TEST(TextStringStorage, CopiesOwnTheirText) {
  TextString original("abc");
  TextString copy(original);
  TextString assigned;
  assigned = original;
  original.Buffer()[0] = 'X';
  EXPECT_STREQ("abc", copy.Text());
  EXPECT_STREQ("abc", assigned.Text());
  EXPECT_STREQ("Xbcabc!", original.Concat(copy).Concat("!").Text());
  EXPECT_STREQ("Xbc", original.Text());
}

TEST(TextStringStorage, AcceptsItsOwnTextAsArgument) {
  TextString text("hello");
  text.Append(text);
  EXPECT_STREQ("hellohello", text.Text());
  text.AppendText(text.Text() + 8);
  EXPECT_STREQ("hellohellolo", text.Text());
  text.SetText(text.Text() + 5);
  EXPECT_STREQ("hellolo", text.Text());
  text = text;
  EXPECT_STREQ("hellolo", text.Text());
  text.Reassign(text.Text() + 4);
  EXPECT_STREQ("olo", text.Text());
  text.ReplaceSlice(text.Text(), text.Text(), text.Text() + 1);
  EXPECT_STREQ("lolo", text.Text());
}

TEST(TextStringStorage, NullArgumentsCountAsEmpty) {
  TextString text("a");
  text.Append(static_cast<const char*>(nullptr));
  EXPECT_STREQ("a", text.Text());
  text.Reassign(nullptr);
  EXPECT_TRUE(text.Equals(static_cast<const char*>(nullptr)));
}

TEST(TextStringCompare, IgnoresAsciiCaseOnly) {
  TextString text("DELETE");
  EXPECT_TRUE(text.Equals("delete"));
  EXPECT_FALSE(text.Equals("DELETE "));
  EXPECT_FALSE(text.Equals("DELET"));
  EXPECT_TRUE(text.NotEquals(TextString("DELETF")));
  // Only A-Z fold: '@' and '`' sit next to them and must stay apart.
  EXPECT_FALSE(TextString("@").Equals("`"));
  EXPECT_FALSE(TextString("\xC4").Equals("\xE4"));
}

TEST(TextStringSlice, ReplaceKeepsHeadAndTail) {
  TextString text("abcdef");
  const char* start = text.Text();
  EXPECT_STREQ("bcd", text.Slice(start + 1, start + 3).Text());
  EXPECT_STREQ("", text.Slice(start + 2, start + 1).Text());
  EXPECT_STREQ("ef", text.Slice(start + 4, start + 9).Text());  // stops at the end

  text.ReplaceSlice(start + 1, start + 3, "XY");
  EXPECT_STREQ("aXYef", text.Text());
  start = text.Text();
  text.ReplaceSlice(start + 2, start + 1, "-");  // empty range inserts
  EXPECT_STREQ("aX-Yef", text.Text());
  start = text.Text();
  text.ReplaceSlice(start + 3, start + 20, "!");  // past the end drops the tail
  EXPECT_STREQ("aX-!", text.Text());
  start = text.Text();
  text.ReplaceSlice(start, start + 3, "new");
  EXPECT_STREQ("new", text.Text());
}

TEST(TextStringSlice, MidCountsNegativeIndicesFromTheEnd) {
  TextString text("abcdef");
  EXPECT_STREQ("c", text.Mid(2).Text());
  EXPECT_STREQ("f", text.Mid(-1).Text());
  EXPECT_STREQ("bcde", text.Mid(1, -2).Text());
  EXPECT_STREQ("", TextString().Mid(-1).Text());
  EXPECT_STREQ("ef", text.Mid(4, 50).Text());
  EXPECT_STREQ("", text.Mid(50, 60).Text());

  text.ReplaceMid(-1, "F");
  EXPECT_STREQ("abcdeF", text.Text());
  text.ReplaceMid(1, 2, "");
  EXPECT_STREQ("adeF", text.Text());
  text.ReplaceMid(9, 9, "!");
  EXPECT_STREQ("adeF!", text.Text());

  TextString empty;
  empty.ReplaceMid(-1, "x");
  EXPECT_STREQ("", empty.Text());
  empty.ReplaceMid(0, "x");
  EXPECT_STREQ("x", empty.Text());
}

TEST(TextStringWords, QuotedWordsKeepBlanksAndQuotes) {
  TextString text("\"a b\" c");
  EXPECT_EQ(2, text.WordCount());
  EXPECT_STREQ("\"a b\"", text.Word(0).Text());
  EXPECT_STREQ("c", text.Word(1).Text());
  EXPECT_STREQ("c", text.Word(-1).Text());
  EXPECT_STREQ("", text.Word(2).Text());

  EXPECT_EQ(0, TextString().WordCount());
  EXPECT_EQ(3, TextString("a  b").WordCount());
  EXPECT_STREQ("", TextString("a  b").Word(1).Text());
  // A quote that is never closed swallows the rest of the text.
  EXPECT_EQ(1, TextString("\"a b c").WordCount());
  // A lone quote is a word of its own.
  EXPECT_EQ(2, TextString("\" x").WordCount());
  EXPECT_STREQ("b c", TextString("a b c").Words(1, 2).Text());
  EXPECT_STREQ("a b", TextString("a b c").Words(0, -2).Text());
  EXPECT_STREQ("", TextString().Word(-1).Text());
}

TEST(TextStringWords, ReplaceWordsRewritesTheirRange) {
  TextString text("one two three");
  EXPECT_TRUE(text.ReplaceWord(1, "2"));
  EXPECT_STREQ("one 2 three", text.Text());
  EXPECT_TRUE(text.ReplaceWords(0, 1, "x"));
  EXPECT_STREQ("x three", text.Text());
  EXPECT_FALSE(text.ReplaceWord(5, "y"));
  EXPECT_STREQ("x three", text.Text());
}

TEST(TextStringItems, CountsAndPicksItems) {
  EXPECT_EQ(0, TextString().ItemCount(","));
  EXPECT_EQ(1, TextString("a").ItemCount(","));
  EXPECT_EQ(2, TextString("a,").ItemCount(","));
  EXPECT_EQ(2, TextString(",").ItemCount(","));
  EXPECT_EQ(3, TextString(",,").ItemCount(","));
  EXPECT_EQ(3, TextString("a,,b").ItemCount(","));

  EXPECT_STREQ("", TextString("a,,b").Item(1, ",").Text());
  EXPECT_STREQ("b", TextString("a,,b").Item(2, ",").Text());
  EXPECT_STREQ("", TextString("a,").Item(1, ",").Text());
  EXPECT_STREQ("", TextString("a,b").Item(2, ",").Text());
  EXPECT_STREQ("c", TextString("a,b,c").Item(-1, ",").Text());
  EXPECT_STREQ("", TextString().Item(0, ",").Text());
  EXPECT_STREQ("", TextString().Item(-1, ",").Text());
  EXPECT_STREQ("a,b", TextString("a,b,c").Items(0, 1, ",").Text());
  EXPECT_STREQ("b,c", TextString("a,b,c").Items(1, -1, ",").Text());
}

TEST(TextStringItems, SeparatorsMayBeLongerThanOneByte) {
  // Occurrences do not overlap: "aaa" holds one "aa", then a lone "a".
  EXPECT_EQ(2, TextString("aaa").ItemCount("aa"));
  EXPECT_STREQ("a", TextString("aaa").Item(1, "aa").Text());
}

TEST(TextStringItems, ReplaceItemFillsEmptyItems) {
  TextString text("a,,c");
  EXPECT_TRUE(text.ReplaceItem(1, ",", "b"));
  EXPECT_STREQ("a,b,c", text.Text());
  EXPECT_TRUE(text.ReplaceItems(0, 1, ",", "x"));
  EXPECT_STREQ("x,c", text.Text());
  EXPECT_FALSE(text.ReplaceItem(2, ",", "y"));
  EXPECT_STREQ("x,c", text.Text());
}

TEST(TextStringGroups, NestedGroupsCountOnceAtTopLevel) {
  TextString text("x<a<b>c>y<d>");
  EXPECT_EQ(2, text.GroupCount("<", ">"));
  EXPECT_STREQ("<a<b>c>", text.Group(0, "<", ">").Text());
  EXPECT_STREQ("<d>", text.Group(1, "<", ">").Text());
  EXPECT_STREQ("<d>", text.Group(-1, "<", ">").Text());
  EXPECT_STREQ("<a<b>c>y<d>", text.Groups(0, 1, "<", ">").Text());
  EXPECT_STREQ("", text.Group(2, "<", ">").Text());
  EXPECT_STREQ("{ABC}", TextString("x{ABC}y").Group(0, "{", "}").Text());
  EXPECT_STREQ("[[b]]", TextString("a[[b]]c").Group(0, "[[", "]]").Text());
}

TEST(TextStringGroups, UnclosedAndStrayTokens) {
  TextString unclosed("x<abc");
  EXPECT_EQ(0, unclosed.GroupCount("<", ">"));
  EXPECT_STREQ("", unclosed.Group(0, "<", ">").Text());

  // The outer group never closes: not counted, yet found up to the end.
  TextString open("<a<b>");
  EXPECT_EQ(0, open.GroupCount("<", ">"));
  EXPECT_STREQ("<a<b>", open.Group(0, "<", ">").Text());
  EXPECT_STREQ("", open.Group(-1, "<", ">").Text());

  // A stray close sinks the depth, so the group after it is no top-level one.
  TextString stray("a>b<c>");
  EXPECT_EQ(0, stray.GroupCount("<", ">"));
  EXPECT_STREQ("", stray.Group(0, "<", ">").Text());
}

TEST(TextStringGroups, ReplaceGroupSwapsGroupWithTokens) {
  TextString text("a{b}c");
  EXPECT_TRUE(text.ReplaceGroup(0, "{", "}", "V"));
  EXPECT_STREQ("aVc", text.Text());
  EXPECT_FALSE(text.ReplaceGroup(0, "{", "}", "W"));
  EXPECT_STREQ("aVc", text.Text());

  TextString two("<A>\\<B>");
  EXPECT_TRUE(two.ReplaceGroup(1, "<", ">", "b"));
  EXPECT_STREQ("<A>\\b", two.Text());
  EXPECT_TRUE(two.ReplaceGroups(0, 0, "<", ">", "a"));
  EXPECT_STREQ("a\\b", two.Text());
}

TEST(TextStringTrim, RemovesWholeTokensRepeatedly) {
  TextString text("  a b  ");
  text.Trim(" ");
  EXPECT_STREQ("a b", text.Text());

  TextString blanks("   ");
  blanks.Trim(" ");
  EXPECT_STREQ("", blanks.Text());

  TextString untouched("a");
  const char* before = untouched.Text();
  untouched.Trim(" ");
  EXPECT_EQ(before, untouched.Text());

  TextString tabs("\ta\t");
  tabs.Trim(" ");
  EXPECT_STREQ("\ta\t", tabs.Text());

  TextString quoted("\"C:\\Program Files\\x.exe\"");
  quoted.Trim("\"");
  EXPECT_STREQ("C:\\Program Files\\x.exe", quoted.Text());

  TextString braces("{{x}}}");
  braces.Trim("{", "}");
  EXPECT_STREQ("x", braces.Text());

  // Tokens compare without case.
  TextString words("abABxabAB");
  words.Trim("AB", "ab");
  EXPECT_STREQ("x", words.Text());

  // The trailing scan never reaches into what the leading one removed.
  TextString overlap("aba");
  overlap.Trim("ab", "ba");
  EXPECT_STREQ("a", overlap.Text());

  TextString lead("--x--");
  lead.Trim("-", "");
  EXPECT_STREQ("x--", lead.Text());
}

// Code page 932 characters whose second byte is an ASCII character: ソ ends
// in "\", マ in "}", and 0x83 0x5A in "Z".
const std::string So = "\x83\x5C";
const std::string Ma = "\x83\x7D";

TEST(TextStringDoubleByte, SearchesStepOverDoubleByteCharacters) {
  fake::Reset();  // code page 932
  TextString path(("C:\\" + So + "\\" + So + ".exe").c_str());
  EXPECT_EQ(path.ItemCount("\\"), 3);
  EXPECT_EQ(path.Item(1, "\\").Text(), So);
  EXPECT_EQ(path.Items(0, -2, "\\").Text(), "C:\\" + So);
  TextString directory;
  ASSERT_TRUE(DirectoryOfPath(path.Text(), directory));
  EXPECT_EQ(directory.Text(), "C:\\" + So);
  EXPECT_EQ(FindLastCharacter(So.c_str(), '\\'), nullptr);
  EXPECT_EQ(TextString((So + "..").c_str()).CountOf("\\.."), 0);

  TextString group(("{" + Ma + "}x}").c_str());
  EXPECT_EQ(group.GroupCount("{", "}"), 1);
  EXPECT_EQ(group.Group(0, "{", "}").Text(), "{" + Ma + "}");

  // Only a backslash of its own is trailing. A stray lead byte never hides
  // a separator below 0x40 after it, which no double-byte character holds.
  TextString trailing(("C:\\" + So + "\\\\").c_str());
  trailing.Trim("", "\\");
  EXPECT_EQ(trailing.Text(), "C:\\" + So);
  EXPECT_EQ(TextString("<A>=\x83\n<B>=\x83,x").ItemCount("\n"), 2);
  EXPECT_EQ(TextString("<A>=\x83\n<B>=\x83,x").ItemCount(","), 2);

  // Letters compare without case; a second byte must match as it is.
  EXPECT_TRUE(TextString("A\x83\x5A").Equals("a\x83\x5A"));
  EXPECT_FALSE(TextString("\x83\x5A").Equals("\x83\x7A"));
  // File names match by character: "?" takes a whole one, a second byte
  // never matches a letter of the pattern, nor folds its case.
  EXPECT_TRUE(NameMatches("?.TXT", (So + ".txt").c_str()));
  EXPECT_FALSE(NameMatches("??.txt", (So + ".txt").c_str()));
  EXPECT_FALSE(NameMatches("*z*", "\x83\x5A"));
  EXPECT_TRUE(NameMatches(("*" + Ma).c_str(), ("a" + Ma).c_str()));
  EXPECT_TRUE(NameMatches("a*.*", "abc"));
  EXPECT_FALSE(NameMatches("*.dll", "x.dll_old"));

  // A single-byte code page has no double-byte characters: bytes are bytes.
  fake::SetCodePage(1252);
  EXPECT_EQ(path.ItemCount("\\"), 5);
  EXPECT_EQ(group.Group(0, "{", "}").Text(), std::string("{\x83}"));
  fake::Reset();
}

TEST(TextStringSearch, ReplaceAllAndCountOf) {
  TextString text("a%nb%n");
  EXPECT_TRUE(text.ReplaceAll("%n", "\n"));
  EXPECT_STREQ("a\nb\n", text.Text());
  TextString plain("ab");
  EXPECT_FALSE(plain.ReplaceAll("%n", "\n"));
  EXPECT_STREQ("ab", plain.Text());

  // The search restarts from the start, so new matches formed by joins count.
  TextString joins("aab");
  EXPECT_TRUE(joins.ReplaceAll("ab", "b"));
  EXPECT_STREQ("b", joins.Text());

  EXPECT_EQ(2, TextString("a%nb%n").CountOf("%n"));
  EXPECT_EQ(1, TextString("aaa").CountOf("aa"));
  EXPECT_EQ(0, TextString("").CountOf("a"));
}

TEST(TextStringSearch, EmptySearchTextsFindNothing) {
  TextString text("a,b");
  EXPECT_EQ(0, text.CountOf(""));
  EXPECT_FALSE(text.ReplaceAll("", "x"));
  EXPECT_EQ(1, text.ItemCount(""));
  EXPECT_STREQ("a,b", text.Item(0, "").Text());
  EXPECT_EQ(0, text.GroupCount("", ""));
  EXPECT_STREQ("", text.Group(0, "", "").Text());
  text.Trim("", nullptr);
  EXPECT_STREQ("a,b", text.Text());
}

TEST(TextStringNumbers, ReadLikeScanf) {
  EXPECT_EQ(-5, TextString(" -5").ToInt());
  EXPECT_EQ(12, TextString("12abc").ToInt());
  EXPECT_EQ(0, TextString("x").ToInt());
  EXPECT_EQ(0, TextString("").ToInt());
  EXPECT_EQ(31u, TextString("0x1F").ToHex());
  EXPECT_EQ(0u, TextString("0X1F").ToHex());
  EXPECT_EQ(0u, TextString(" 0x1F").ToHex());
  EXPECT_EQ(0xDEADBEEFu, TextString("0xdeadBEEF").ToHex());
  EXPECT_EQ(0u, TextString("0x").ToHex());

  // The C library's own scanning is the reference for everything in between.
  const char* samples[] = {"42", "+7", "-0", "\t\n 9z", "- 3", "+-3", "--3", "2147483647",
                           "-2147483648", "0x10", "0x 1f", "0x+ff", "0x-1", "0x0x2a",
                           "0xg", "0x0X7", "0xFFFFFFFF", "007", "1 2"};
  for (const char* sample : samples) {
    int decimal = 0;
    if (sscanf(sample, "%d", &decimal) != 1) decimal = 0;
    unsigned hex = 0;
    if (sscanf(sample, "0x%x", &hex) != 1) hex = 0;
    EXPECT_EQ(decimal, TextString(sample).ToInt()) << sample;
    EXPECT_EQ(hex, TextString(sample).ToHex()) << sample;
  }
}

TEST(TextStringFormat, FormatsAndCutsToTheWorkArea) {
  TextString text;
  EXPECT_STREQ("a-12-0x00000020", text.Format("%s-%d-0x%08X", "a", 12, 32u).Text());
  EXPECT_STREQ("100%", text.Format("%s", "100%").Text());

  std::string longText(3000, 'z');
  text.Format("<%s>", longText.c_str());
  EXPECT_EQ(TextString::FormatAreaSize - 1, text.Length());
  EXPECT_EQ('<', text.Text()[0]);
  EXPECT_EQ('z', text.Text()[text.Length() - 1]);
}

TEST(TextStringFormat, FormatsCatalogueTexts) {
  TextString text;
  text.FormatById(11);
  EXPECT_STREQ(text.Text(), "プロシージャ数が正しくありません。");

  text.FormatById(12, "C:\\a%sb", 32u);
  EXPECT_NE(nullptr, strstr(text.Text(), "\"C:\\a%sb\""));
  EXPECT_NE(nullptr, strstr(text.Text(), "0x00000020"));
  EXPECT_NE(nullptr, strstr(text.Text(), "\n\n"));

  text.FormatById(7);
  EXPECT_STREQ("", text.Text());
}

}  // namespace
