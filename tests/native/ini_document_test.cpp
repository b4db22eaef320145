#include "store/ini_document.h"

#include <gtest/gtest.h>

namespace quillet {
namespace {

constexpr const char* kBom = "\xEF\xBB\xBF";

std::string File(const std::string& body) { return kBom + body; }

TEST(IniDocumentTest, WritesBomSectionKeysInOrderAndAnEmptyLineAllWithCrLf) {
  IniDocument document;
  EXPECT_EQ(document.Serialize(), kBom);
  document.WriteString("Settings", "OpenWith", "C:\\Windows\\notepad.exe");
  document.WriteInteger("Settings", "Wait", -500);
  document.WriteString("Settings", "OpenWithDefaults", "OFF");
  EXPECT_EQ(document.Serialize(),
            File("[Settings]\r\nOpenWith=C:\\Windows\\notepad.exe\r\nWait=-500\r\nOpenWithDefaults=OFF\r\n\r\n"));
}

TEST(IniDocumentTest, ParseThenSerializeGivesTheFileAsTheProgramWritesIt) {
  struct Case {
    const char* name;
    std::string input;
    std::string output;
  };
  const Case cases[] = {
      {"OwnFormatUnchanged", File("[Settings]\r\nA=1\r\nB=x y\r\n\r\n"), File("[Settings]\r\nA=1\r\nB=x y\r\n\r\n")},
      {"NoBomLfEndings", "[Settings]\nA=1\nB=2\n", File("[Settings]\r\nA=1\r\nB=2\r\n\r\n")},
      {"CrEndingsNoFinalBreak", "[Settings]\rA=1\rB=2", File("[Settings]\r\nA=1\r\nB=2\r\n\r\n")},
      {"TrimsLinesNamesAndValues", "  \t[ Settings ]\t \r\n\t Wait = 5 \t\r\n   OpenWith  =  C:\\a b.exe  \r\n",
       File("[Settings]\r\nWait=5\r\nOpenWith=C:\\a b.exe\r\n\r\n")},
      {"DropsCommentsAndEmptyLines", "[Settings]\r\n; comment\r\n\r\n   ;indented=1\r\n\t\r\nA=1\r\n",
       File("[Settings]\r\nA=1\r\n\r\n")},
      {"DropsLinesBeforeTheFirstSection", "Wait=1\r\n[broken\r\n[Settings]\r\nA=2\r\n",
       File("[Settings]\r\nA=2\r\n\r\n")},
      {"ValueKeepsLaterEquals", "[Settings]\r\nOpenWith=a=b=c\r\n", File("[Settings]\r\nOpenWith=a=b=c\r\n\r\n")},
      {"LineWithoutEqualsIsAKeyWithoutValue", "[Settings]\r\nflag\r\n", File("[Settings]\r\nflag=\r\n\r\n")},
      {"EmptyValueAndEmptyKey", "[Settings]\r\nA=\r\n=v\r\n", File("[Settings]\r\nA=\r\n=v\r\n\r\n")},
      {"UnclosedBracketInsideASectionIsAKey", "[Settings]\r\n[x=1\r\n", File("[Settings]\r\n[x=1\r\n\r\n")},
      {"SectionWithoutKeys", "[Settings]\r\n", File("[Settings]\r\n\r\n")},
      {"TwoSections", "[One]\r\nA=1\r\n[Two]\r\nB=2\r\n", File("[One]\r\nA=1\r\n\r\n[Two]\r\nB=2\r\n\r\n")},
      {"OnlyABom", kBom, kBom},
      {"Empty", "", kBom},
      {"Utf8Values", File("[Settings]\r\nOpenWith=D:\\\xE5\xB7\xA5\xE5\x85\xB7\\v.exe\r\n"),
       File("[Settings]\r\nOpenWith=D:\\\xE5\xB7\xA5\xE5\x85\xB7\\v.exe\r\n\r\n")},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IniDocument::Parse(c.input).Serialize(), c.output) << c.name;
  }
}

TEST(IniDocumentTest, NamesMatchWithoutRegardToCaseAndKeepTheirFirstSpelling) {
  IniDocument document = IniDocument::Parse("[settings]\r\nwait=5\r\n");
  EXPECT_TRUE(document.ValueExists("Settings", "WAIT"));
  EXPECT_EQ(document.ReadInteger("SETTINGS", "Wait", 0), 5);
  document.WriteInteger("Settings", "Wait", 6);
  EXPECT_EQ(document.Serialize(), File("[settings]\r\nwait=6\r\n\r\n"));
}

TEST(IniDocumentTest, ExistingKeysKeepTheirPlaceAndNewOnesGoBehind) {
  IniDocument document = IniDocument::Parse("[Settings]\r\nB=1\r\nA=2\r\n");
  document.WriteString("Settings", "C", "3");
  document.WriteString("Settings", "A", "new");
  document.WriteString("Other", "Z", "z");
  EXPECT_EQ(document.Serialize(), File("[Settings]\r\nB=1\r\nA=new\r\nC=3\r\n\r\n[Other]\r\nZ=z\r\n\r\n"));
}

// A line splits at its first "=": a program path or a text may hold "=" of its own.
TEST(IniDocumentTest, AValueKeepsTheEqualsSignsAfterTheFirst) {
  const IniDocument document =
      IniDocument::Parse("[Settings]\r\nOpenWith=C:\\Tools\\a=b.exe\r\nNote==x==\r\n");
  EXPECT_EQ(document.ReadString("Settings", "OpenWith", "def"), "C:\\Tools\\a=b.exe");
  EXPECT_EQ(document.ReadString("Settings", "Note", "def"), "=x==");
  EXPECT_FALSE(document.ValueExists("Settings", "OpenWith=C:\\Tools\\a"));
}

TEST(IniDocumentTest, ValueExistsAndReadStringDistinguishMissingFromEmpty) {
  const IniDocument document = IniDocument::Parse("[Settings]\r\nEmpty=\r\n[Other]\r\nLeft=1\r\n");
  EXPECT_TRUE(document.ValueExists("Settings", "Empty"));
  EXPECT_EQ(document.ReadString("Settings", "Empty", "def"), "");
  EXPECT_FALSE(document.ValueExists("Settings", "Left"));
  EXPECT_EQ(document.ReadString("Settings", "Left", "def"), "def");
  EXPECT_FALSE(document.ValueExists("Missing", "Left"));
}

TEST(IniDocumentTest, ReadIntegerGivesTheDefaultForAnythingButASignedDecimal) {
  const std::pair<const char*, long long> cases[] = {
      {"5", 5},
      {"-5", -5},
      {"+5", 5},
      {"9223372036854775807", 9223372036854775807LL},
      {"", 77},
      {"abc", 77},
      {"5x", 77},
      {"0x10", 77},
      {"$10", 77},
      {"1.0", 77},
      {"99999999999999999999", 77},
      {"- 5", 77},
  };
  for (const auto& [value, expected] : cases) {
    const IniDocument document = IniDocument::Parse(std::string("[Settings]\r\nWait=") + value + "\r\n");
    EXPECT_EQ(document.ReadInteger("Settings", "Wait", 77), expected) << value;
  }
  EXPECT_EQ(IniDocument().ReadInteger("Settings", "Wait", 77), 77);
}

TEST(IniDocumentTest, RepeatedNamesAreKeptAndTheFirstOneCounts) {
  IniDocument document = IniDocument::Parse("[Settings]\r\nA=1\r\nA=2\r\n[SETTINGS]\r\nB=3\r\n");
  EXPECT_EQ(document.ReadInteger("Settings", "A", 0), 1);
  EXPECT_FALSE(document.ValueExists("Settings", "B"));
  document.WriteInteger("Settings", "A", 9);
  EXPECT_EQ(document.Serialize(), File("[Settings]\r\nA=9\r\nA=2\r\n\r\n[SETTINGS]\r\nB=3\r\n\r\n"));
}

}  // namespace
}  // namespace quillet
