#include "project/BigIni.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/Error.h"
#include "base/Files.h"
#include "support/TestSupport.h"

namespace {

using project::TBigIniFile;
using project::TSectionList;
using Lines = std::vector<std::string>;

Lines Sections(const TBigIniFile& ini) {
  Lines names;
  ini.ReadSections(names);
  return names;
}

Lines Values(const TBigIniFile& ini, const std::string& section) {
  Lines lines;
  ini.ReadSectionValues(section, lines);
  return lines;
}

// A store in memory holding the given text.
struct TextIni : TBigIniFile {
  explicit TextIni(const std::string& text) : TBigIniFile("") { LoadFromText(text); }
};

// ----------------------------------------------------------------------------------------------
// Loading

TEST(BigIniLoad, TextBeforeFirstSectionAndEmptyLines_AreDropped) {
  TextIni ini("orphan=1\n\n[A]\n\nk=v\n\x1A\n\nplain text\n");
  EXPECT_EQ(Sections(ini), (Lines{"A"}));
  EXPECT_EQ(Values(ini, "A"), (Lines{"k=v", "plain text"}));
  EXPECT_FALSE(ini.Modified());
}

TEST(BigIniLoad, CtrlZOnlyCountsAsEmptyWhenAlone) {
  TextIni ini("[A]\r\n\x1A\r\n\x1A" "x\n");
  EXPECT_EQ(Values(ini, "A"), (Lines{"\x1A" "x"}));
}

TEST(BigIniLoad, CrLfAndLfLineEnds_ReadAlike) {
  TextIni crlf("[A]\r\nk=v\r\n\r\n[B]\r\nx=1\r\n");
  TextIni lf("[A]\nk=v\n\n[B]\nx=1");  // last line without a line end
  EXPECT_EQ(crlf.ToText(), lf.ToText());
  EXPECT_EQ(crlf.ReadString("A", "k", "-"), "v");
  EXPECT_EQ(lf.ReadString("B", "x", "-"), "1");
  TextIni doubled("[A]\r\nk=v\r\r\n");
  EXPECT_EQ(doubled.ReadString("A", "k", "-"), "v");
}

TEST(BigIniLoad, SectionHeaderNeedsBracketsAtBothEnds) {
  TextIni ini("[A]\n[B\n [C]\n[D] \n[]\nk=1\n");
  EXPECT_EQ(Sections(ini), (Lines{"A", ""}));
  EXPECT_EQ(Values(ini, "A"), (Lines{"[B", " [C]", "[D] "}));
  EXPECT_EQ(ini.ReadString("", "k", "-"), "1");
}

TEST(BigIniLoad, OverlongLines_AreCutTo255) {
  std::string longText(300, 'a');
  TextIni ini("[A]\n" + longText + "\nk=" + longText + "\n" + std::string(300, 'K') + "=v\nnext=1\n");
  Lines lines = Values(ini, "A");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], std::string(255, 'a'));
  // Key and value are each at most 255 characters, so what the store writes reads back whole.
  EXPECT_EQ(lines[1], "k=" + std::string(255, 'a'));
  EXPECT_EQ(lines[2], std::string(255, 'K'));
  EXPECT_EQ(ini.ReadString("A", "next", "-"), "1");
  // Carriage returns the cut leaves at the end go, as they would when the file is read back.
  TextIni cr("[A]\nk=" + std::string(250, 'v') + std::string(10, '\r') + "tail\n");
  EXPECT_EQ(cr.ReadString("A", "k", "-"), std::string(250, 'v'));
}

TEST(BigIniLoad, CutLineShapedLikeHeader_OpensSection) {
  // Cut to 255 characters the line ends in "]", so it is a header, as it will be when the
  // store's own output is read back.
  TextIni ini("[A]\n[" + std::string(253, 'n') + "]tail\nk=1\n");
  EXPECT_EQ(Sections(ini), (Lines{"A", std::string(253, 'n')}));
  TextIni back(ini.ToText());
  EXPECT_EQ(back.ToText(), ini.ToText());
}

TEST(BigIniLoad, DuplicateSections_KeepFirstAndMarkModified) {
  TextIni ini("[Input]\na=1\n[Other]\nb=2\n[INPUT]\na=9\nc=3\n[other]\n");
  EXPECT_EQ(Sections(ini), (Lines{"Input", "Other"}));
  EXPECT_EQ(ini.ReadString("Input", "a", "-"), "1");
  EXPECT_EQ(ini.ReadString("Input", "c", "-"), "-");
  EXPECT_TRUE(ini.Modified());
}

TEST(BigIniLoad, DuplicateSectionInFile_IsRewrittenOnFlush) {
  pxtest::TempDir dir;
  const std::string path = dir.file("p.pxp");
  pxtest::WriteText(path, "[Input]\na=1\n[Input]\na=2\n");
  {
    TBigIniFile ini(path);
    EXPECT_TRUE(ini.Modified());
  }
  EXPECT_EQ(px::ReadFileText(path), "[Input]\na=1\n\n");
}

TEST(BigIniLoad, MissingFile_GivesEmptyStoreAndCreatesNothing) {
  pxtest::TempDir dir;
  const std::string path = dir.file("none.ini");
  {
    TBigIniFile ini(path);
    EXPECT_TRUE(Sections(ini).empty());
    EXPECT_EQ(ini.ReadString("A", "k", "def"), "def");
  }
  EXPECT_FALSE(px::FileExists(path));
}

// ----------------------------------------------------------------------------------------------
// Reading and writing keys

TEST(BigIniKeys, KeysAndSectionsMatchRegardlessOfCase) {
  TBigIniFile ini("");
  ini.WriteString("Shifts", "xshift", "5");
  EXPECT_EQ(ini.ReadString("SHIFTS", "XShift", "-"), "5");
  ini.WriteString("shifts", "XSHIFT", "5");  // same key, line differs in case: replaced
  EXPECT_EQ(Sections(ini), (Lines{"Shifts"}));
  EXPECT_EQ(Values(ini, "Shifts"), (Lines{"XSHIFT=5"}));
}

TEST(BigIniKeys, ValueIsTextAfterFirstEquals) {
  TextIni ini("[A]\nk=b=c\nbare\nk=second\n");
  EXPECT_EQ(ini.ReadString("A", "k", "-"), "b=c");
  EXPECT_EQ(ini.ReadString("A", "bare", "-"), "");  // a line without "=" is all key
  EXPECT_EQ(ini.ReadString("A", "missing", "-"), "-");
  EXPECT_EQ(ini.ReadString("B", "k", "-"), "-");
}

TEST(BigIniKeys, SameLineTwice_LeavesModifiedFlagAlone) {
  TextIni ini("[A]\nk=v\n");
  ini.WriteString("A", "k", "v");
  EXPECT_FALSE(ini.Modified());
  ini.WriteString("a", "K", "V");  // differs case-sensitively
  EXPECT_TRUE(ini.Modified());
  EXPECT_EQ(Values(ini, "A"), (Lines{"K=V"}));
}

TEST(BigIniKeys, NewKeysAndSectionsAreAppended) {
  TextIni ini("[A]\nk=1\n[B]\nx=1\n");
  ini.WriteString("A", "n", "2");
  ini.WriteString("C", "z", "3");
  EXPECT_EQ(ini.ToText(), "[A]\nk=1\nn=2\n\n[B]\nx=1\n\n[C]\nz=3\n\n");
}

TEST(BigIniKeys, EmptyKey_ErasesSectionOrFlushes) {
  pxtest::TempDir dir;
  const std::string path = dir.file("e.ini");
  TBigIniFile ini(path);
  ini.WriteString("A", "k", "1");
  ini.WriteString("B", "k", "1");
  ini.WriteString("A", "", "");
  EXPECT_EQ(Sections(ini), (Lines{"B"}));
  ini.WriteString("", "k", "1");
  ini.WriteString("", "", "value");  // erases the section named ""
  EXPECT_EQ(Sections(ini), (Lines{"B"}));
  EXPECT_FALSE(px::FileExists(path));
  ini.WriteString("", "", "");  // flushes
  EXPECT_FALSE(ini.Modified());
  EXPECT_EQ(px::ReadFileText(path), "[B]\nk=1\n\n");
}

TEST(BigIniKeys, ReadInteger_DecimalHexAndDefault) {
  TextIni ini("[N]\nhex=0x1F\nHEX=0X1f\ndollar=$ff\nneg=-12\nplus=+7\nblank= 42 \nword=abc\n"
                      "tail=12abc\nbarehex=0x\nbadhex=0xZZ\nempty=\nhuge=99999999999999999999\n"
                      "big=9223372036854775807\nsmall=-9223372036854775808\n");
  EXPECT_EQ(ini.ReadInteger("N", "hex", -1), 31);
  EXPECT_EQ(ini.ReadInteger("N", "dollar", -1), 255);
  EXPECT_EQ(ini.ReadInteger("N", "neg", -1), -12);
  EXPECT_EQ(ini.ReadInteger("N", "plus", -1), 7);
  EXPECT_EQ(ini.ReadInteger("N", "blank", -1), 42);
  for (const char* bad : {"word", "tail", "barehex", "badhex", "empty", "huge", "missing"})
    EXPECT_EQ(ini.ReadInteger("N", bad, -1), -1) << bad;
  EXPECT_EQ(ini.ReadInteger("N", "big", 0), 9223372036854775807LL);
  EXPECT_EQ(ini.ReadInteger("N", "small", 0), -9223372036854775807LL - 1);
}

TEST(BigIniKeys, IntegersAndBools_RoundTrip) {
  TBigIniFile ini("");
  ini.WriteInteger("N", "a", -123456789012LL);
  ini.WriteBool("N", "t", true);
  ini.WriteBool("N", "f", false);
  EXPECT_EQ(Values(ini, "N"), (Lines{"a=-123456789012", "t=1", "f=0"}));
  EXPECT_EQ(ini.ReadInteger("N", "a", 0), -123456789012LL);
  EXPECT_TRUE(ini.ReadBool("N", "t", false));
  EXPECT_FALSE(ini.ReadBool("N", "f", true));
  ini.WriteString("N", "two", "2");
  ini.WriteString("N", "word", "True");
  EXPECT_TRUE(ini.ReadBool("N", "two", false));
  EXPECT_FALSE(ini.ReadBool("N", "word", false));  // no integer: the default
  EXPECT_TRUE(ini.ReadBool("N", "missing", true));
}

TEST(BigIniKeys, LongTexts_AreCutTo255AndSurviveTheFile) {
  pxtest::TempDir dir;
  const std::string path = dir.file("long.ini");
  const std::string section(300, 's'), key(300, 'k'), value(300, 'v');
  {
    TBigIniFile ini(path);
    ini.WriteString(section, key, value);
    EXPECT_EQ(ini.ReadString(section, key, "-"), std::string(255, 'v'));
  }
  TBigIniFile back(path);
  EXPECT_EQ(Sections(back), (Lines{std::string(255, 's')}));
  EXPECT_EQ(back.ReadString(section, key, "-"), std::string(255, 'v'));
  EXPECT_FALSE(back.Modified());
}

TEST(BigIniKeys, LineBreaksInTexts_CannotForgeLines) {
  TBigIniFile ini("");
  ini.WriteString("A", "name", "x\n[Input]\r\nfiletype=AVI");
  TextIni back(ini.ToText());
  EXPECT_EQ(Sections(back), (Lines{"A"}));
  EXPECT_EQ(back.ReadString("A", "name", "-"), "x [Input]  filetype=AVI");
  ini.WriteString("Sec\ntion", "two\nlines", "v");
  EXPECT_EQ(ini.ReadString("Sec\ntion", "two\nlines", "-"), "v");
}

// ----------------------------------------------------------------------------------------------
// Sections, deletion, listing

TEST(BigIniSections, ListingsAppendOrReplace) {
  TextIni ini("[A]\nk=1\nbare\nK2=x=y\n[B]\n");
  Lines keys{"old"};
  ini.ReadSection("A", keys);
  ini.ReadSection("missing", keys);
  EXPECT_EQ(keys, (Lines{"old", "k", "bare", "K2"}));
  Lines values{"old"};
  ini.ReadSectionValues("a", values);
  EXPECT_EQ(values, (Lines{"old", "k=1", "bare", "K2=x=y"}));
  Lines names{"old"};
  ini.ReadSections(names);
  EXPECT_EQ(names, (Lines{"A", "B"}));
}

TEST(BigIniSections, EraseSection_RemovesLinesAndKeepsLookupsWorking) {
  TextIni ini("[A]\na=1\n[B]\nb=1\n[C]\nc=1\n");
  EXPECT_EQ(ini.ReadString("C", "c", "-"), "1");  // current section is now the last one
  ini.EraseSection("c");
  EXPECT_TRUE(ini.Modified());
  EXPECT_EQ(Sections(ini), (Lines{"A", "B"}));
  EXPECT_EQ(ini.ReadString("B", "b", "-"), "1");
  EXPECT_EQ(ini.ReadString("A", "a", "-"), "1");
  EXPECT_EQ(ini.ReadString("C", "c", "-"), "-");
}

TEST(BigIniSections, EraseMissingSection_ChangesNothing) {
  TextIni ini("[A]\na=1\n");
  ini.EraseSection("Z");
  EXPECT_FALSE(ini.Modified());
  EXPECT_EQ(Sections(ini), (Lines{"A"}));
}

TEST(BigIniSections, LookupWrapsAroundFromCurrentSection) {
  TBigIniFile ini("");
  for (const char* s : {"S0", "S1", "S2", "S3"}) ini.WriteString(s, "k", s);
  // Reads in an order that starts the search before, at and after the wanted section.
  for (const char* s : {"S2", "S0", "S3", "S1", "S1", "S0"}) EXPECT_EQ(ini.ReadString(s, "K", "-"), s);
  EXPECT_EQ(Sections(ini), (Lines{"S0", "S1", "S2", "S3"}));
}

TEST(BigIniSections, DeleteKey_RemovesFirstLineOrCreatesEmptySection) {
  TextIni ini("[A]\nk=1\nK=2\nm=3\n");
  ini.DeleteKey("a", "K");
  EXPECT_TRUE(ini.Modified());
  EXPECT_EQ(Values(ini, "A"), (Lines{"K=2", "m=3"}));
  EXPECT_EQ(ini.ReadString("A", "k", "-"), "2");

  TextIni other("[A]\nk=1\n");
  other.DeleteKey("A", "none");
  other.DeleteKey("New", "k");
  EXPECT_FALSE(other.Modified());
  EXPECT_TRUE(other.SectionExists("new"));
  EXPECT_EQ(Sections(other), (Lines{"A", "New"}));
  EXPECT_EQ(other.ToText(), "[A]\nk=1\n\n");  // sections without lines are not written
}

// Sections of many lines answer from a key index; it must agree with a plain scan.
TEST(BigIniSections, LargeSection_IndexFollowsEveryChange) {
  std::string text = "[Big]\n";
  for (int n = 0; n < 100; ++n) text += "X" + std::to_string(n) + "=" + std::to_string(n) + "\n";
  text += "x5=dup\n";
  TextIni ini(text);
  EXPECT_EQ(ini.ReadString("big", "X5", "-"), "5");
  EXPECT_EQ(ini.ReadString("big", "x99", "-"), "99");
  ini.DeleteKey("Big", "X5");
  EXPECT_EQ(ini.ReadString("Big", "X5", "-"), "dup");
  EXPECT_EQ(ini.ReadString("Big", "X6", "-"), "6");
  ini.WriteString("Big", "Y0", "new");
  ini.WriteString("Big", "y0", "newer");
  ini.DeleteKey("Big", "X0");
  EXPECT_EQ(ini.ReadString("Big", "Y0", "-"), "newer");
  EXPECT_EQ(ini.ReadString("Big", "X0", "-"), "-");
  EXPECT_EQ(ini.ReadString("Big", "X99", "-"), "99");
  EXPECT_FALSE(ini.ValueExists("Big", "X0"));
  EXPECT_TRUE(ini.ValueExists("BIG", "y0"));
  EXPECT_EQ(Values(ini, "Big").size(), 100u);
}

TEST(BigIniSections, ProjectSizedRuns_ReadBackAndSaveIdentically) {
  auto write = [](TBigIniFile& ini) {
    for (int n = 0; n < 5000; ++n) {
      ini.WriteInteger("Shifts", "X" + std::to_string(n), n % 7 - 3);
      ini.WriteInteger("Shifts", "Y" + std::to_string(n), n % 5 - 2);
    }
    for (int n = 0; n < 5000; ++n) ini.WriteInteger("Ranking", "Rank" + std::to_string(n), 4999 - n);
  };
  TBigIniFile a(""), b("");
  write(a);
  write(b);
  EXPECT_EQ(a.ToText(), b.ToText());
  TextIni back(a.ToText());
  for (int n = 0; n < 5000; n += 499) {
    EXPECT_EQ(back.ReadInteger("Shifts", "Y" + std::to_string(n), 99), n % 5 - 2);
    EXPECT_EQ(back.ReadInteger("Ranking", "rank" + std::to_string(n), 99), 4999 - n);
  }
  write(back);
  EXPECT_FALSE(back.Modified());
}

TEST(TSectionList, IndexOfIsCaseInsensitiveFromLastFound) {
  TSectionList list;
  EXPECT_EQ(list.IndexOf("A"), -1);
  list.Add("A");
  list.Add("B");
  EXPECT_EQ(list.Add("a"), 2);  // duplicates are allowed
  EXPECT_EQ(list.IndexOf("b"), 1);
  EXPECT_EQ(list.IndexOf("A"), 2);  // search starts after B, finds the later "a" first
  list.ResetLastFound();
  EXPECT_EQ(list.IndexOf("A"), 0);
  list.Delete(0);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.IndexOf("a"), 1);
  list.Clear();
  EXPECT_EQ(list.IndexOf("a"), -1);
}

// ----------------------------------------------------------------------------------------------
// Files

TEST(BigIniFile, WriteToStrings_EmptyLineAfterEachSection) {
  TextIni ini("[A]\nk=v\n[Empty]\n[B]\nx=1\n");
  Lines out{"keep"};
  ini.WriteToStrings(out);
  EXPECT_EQ(out, (Lines{"keep", "[A]", "k=v", "", "[B]", "x=1", ""}));
}

TEST(BigIniFile, FlushUnmodified_LeavesFileUntouched) {
  pxtest::TempDir dir;
  const std::string path = dir.file("keep.ini");
  const std::string original = "junk\r\n[A]\r\nk=v\r\n\r\n\r\n[B]\r\nx=1";
  pxtest::WriteText(path, original);
  {
    TBigIniFile ini(path);
    EXPECT_EQ(ini.ReadString("A", "k", "-"), "v");
    ini.WriteString("A", "k", "v");
    ini.DeleteKey("A", "absent");
    ini.FlushFile();
  }
  EXPECT_EQ(px::ReadFileText(path), original);
}

TEST(BigIniFile, DestructorFlushes_AndReloadReadsTheSame) {
  pxtest::TempDir dir;
  const std::string path = dir.file("p.pxp");
  {
    TBigIniFile ini(path);
    ini.WriteString("Input", "filetype", "AVI");
    ini.WriteInteger("Shifts", "X0", -3);
    ini.WriteString("Info", "Q0", "0.123456789012345");
    EXPECT_FALSE(px::FileExists(path));
  }
  EXPECT_EQ(px::ReadFileText(path), "[Input]\nfiletype=AVI\n\n[Shifts]\nX0=-3\n\n[Info]\nQ0=0.123456789012345\n\n");
  TBigIniFile back(path);
  EXPECT_EQ(back.ReadInteger("shifts", "x0", 0), -3);
  EXPECT_FALSE(back.Modified());
}

TEST(BigIniFile, FlushOnceWritten_ClearsModified) {
  pxtest::TempDir dir;
  const std::string path = dir.file("f.ini");
  TBigIniFile ini(path);
  ini.WriteString("A", "k", "1");
  ini.FlushFile();
  EXPECT_FALSE(ini.Modified());
  pxtest::WriteText(path, "changed elsewhere");
  ini.FlushFile();  // nothing modified: nothing written
  EXPECT_EQ(px::ReadFileText(path), "changed elsewhere");
}

TEST(BigIniFile, UnwritablePath_FlushThrowsAndDestructorDoesNot) {
  pxtest::TempDir dir;
  const std::string path = dir.file("no/such/folder/p.pxp");
  EXPECT_NO_THROW({
    TBigIniFile ini(path);
    ini.WriteString("A", "k", "1");
    EXPECT_THROW(ini.FlushFile(), px::PelinoxaError);
    EXPECT_TRUE(ini.Modified());
  });
}

TEST(BigIniFile, FailedWrite_KeepsPreviousFile) {
  pxtest::TempDir dir;
  const std::string path = dir.file("p.pxp");
  pxtest::WriteText(path, "[A]\nk=old\n");
  TBigIniFile ini(path);
  ini.WriteString("A", "k", "new");
  // The folder is replaced by a file of the same name, so no temporary file can be made there.
  std::filesystem::rename(dir.path(), dir.path() + ".moved");
  pxtest::WriteText(dir.path(), "");
  EXPECT_THROW(ini.FlushFile(), px::PelinoxaError);
  std::filesystem::remove(dir.path());
  std::filesystem::rename(dir.path() + ".moved", dir.path());
  EXPECT_EQ(px::ReadFileText(path), "[A]\nk=old\n");
}

TEST(BigIniFile, AppendFromFile_KeepsExistingSectionsAndAddsNewOnes) {
  pxtest::TempDir dir;
  const std::string other = dir.file("savetempor.ini");
  pxtest::WriteText(other, "lost=1\n[input]\nfiletype=BMP\nextra=1\n[Form]\nBias_Value=3\n");
  TBigIniFile ini(dir.file("p.pxp"));
  ini.WriteString("Input", "filetype", "AVI");
  ini.FlushFile();
  ini.AppendFromFile(other);
  EXPECT_EQ(Sections(ini), (Lines{"Input", "Form"}));
  EXPECT_EQ(ini.ReadString("Input", "filetype", "-"), "AVI");
  EXPECT_EQ(ini.ReadString("Input", "extra", "-"), "-");
  EXPECT_EQ(ini.ReadString("Form", "Bias_Value", "-"), "3");
  EXPECT_TRUE(ini.Modified());  // the merged section must reach the file

  ini.FlushFile();
  ini.AppendFromFile(dir.file("missing.ini"));
  EXPECT_FALSE(ini.Modified());
}

// ----------------------------------------------------------------------------------------------
// Inputs that once broke the loader stay here for good.

TEST(BigIniCrashers, EveryRecordedInputLoadsAndRoundTrips) {
  const auto files = pxtest::CrasherFiles("ini");
  ASSERT_FALSE(files.empty());
  for (const auto& file : files) {
    SCOPED_TRACE(file);
    TextIni ini(px::ReadFileText(file));
    Lines names;
    ini.ReadSections(names);
    for (const auto& name : names) {
      Lines keys;
      ini.ReadSection(name, keys);
      for (const auto& key : keys) ini.ReadInteger(name, key, 0);
    }
    ini.WriteString("Fuzz", "key", "value");
    TextIni back(ini.ToText());
    EXPECT_EQ(back.ToText(), ini.ToText());
  }
}

}  // namespace
