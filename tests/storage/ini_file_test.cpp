// The INI layer against the behaviour of the Windows profile functions:
// names without regard to case, values changed in place, new keys at the end
// of their section, new sections at the end of the file, the rest untouched.
#include <gtest/gtest.h>

#include "storage/ini_file.h"

using namespace thermo;

namespace {

TEST(IniFile, ReadsValuesWithoutRegardToCaseAndTrimmed) {
    const IniFile ini("; comment\n[Koof]\n  C0_1 =  20,5  \nc1_1=0,2\n[other]\nC0_1=7\n");
    EXPECT_EQ(ini.get("koof", "c0_1"), "20,5");
    EXPECT_EQ(ini.get("KOOF", "C1_1"), "0,2");
    EXPECT_EQ(ini.get("other", "C0_1"), "7");
    EXPECT_FALSE(ini.get("koof", "C2_1"));
    EXPECT_FALSE(ini.get("missing", "C0_1"));
}

TEST(IniFile, FirstOfDuplicateSectionsAndKeysCounts) {
    const IniFile ini("[a]\nk=1\nk=2\n[A]\nk=3\nj=4\n");
    EXPECT_EQ(ini.get("a", "k"), "1");
    EXPECT_FALSE(ini.get("a", "j")); // only the first [a] is searched
}

TEST(IniFile, CommentsAndEntriesBeforeAnySectionAreNotKeys) {
    const IniFile ini("k=0\n[s]\n;k=1\n#k=2\nnoequals\n=5\nk=3\n");
    EXPECT_EQ(ini.get("s", "k"), "3");
    EXPECT_FALSE(ini.get("", "k"));
}

TEST(IniFile, SetChangesTheValueInPlaceKeepingTheKeySpelling) {
    IniFile ini("[General]\nCOM Port = 2\n; keep me\n[x]\ny=1\n");
    ini.set("general", "com port", "3");
    EXPECT_EQ(ini.text(), "[General]\nCOM Port =3\n; keep me\n[x]\ny=1\n");
}

TEST(IniFile, NewKeyGoesAfterTheLastEntryOfItsSection) {
    IniFile ini("[koof]\nC0_1=20\n\n; next\n[term]\notkl_A1=3\n");
    ini.set("koof", "otkl_left", "33");
    EXPECT_EQ(ini.text(), "[koof]\nC0_1=20\notkl_left=33\n\n; next\n[term]\notkl_A1=3\n");
    ini.set("term", "otkl_B1", "0");
    EXPECT_EQ(ini.get("term", "otkl_B1"), "0");
    EXPECT_EQ(ini.text().substr(ini.text().size() - 20), "otkl_A1=3\notkl_B1=0\n");
}

TEST(IniFile, NewSectionGoesToTheEndEvenWithoutAFinalNewline) {
    IniFile ini("[a]\nk=1");
    ini.set("b", "x", "2");
    EXPECT_EQ(ini.text(), "[a]\nk=1\n[b]\nx=2\n");
    IniFile empty("");
    empty.set("General", "COM port", "1");
    EXPECT_EQ(empty.text(), "[General]\nCOM port=1\n");
}

TEST(IniFile, KeyInAnEmptySectionGoesRightAfterItsHeader) {
    IniFile ini("[a]\n; note\n[b]\n");
    ini.set("a", "k", "1");
    EXPECT_EQ(ini.text(), "[a]\nk=1\n; note\n[b]\n");
}

TEST(IniFile, CrLfFilesKeepTheirEndings) {
    IniFile ini("[a]\r\nk=1\r\n; c\r\n");
    EXPECT_TRUE(ini.usesCrLf());
    EXPECT_EQ(ini.get("a", "k"), "1"); // no CR left in the value
    ini.set("a", "k", "2");
    ini.set("a", "j", "3");
    ini.set("b", "x", "4");
    EXPECT_EQ(ini.text(), "[a]\r\nk=2\r\nj=3\r\n; c\r\n[b]\r\nx=4\r\n");
}

TEST(IniFile, UnchangedTextRoundTripsByteForByte) {
    for (const char* text : {"", "\n", "[a]\nk=1", "x\r\n\r\n[s]\r\nk = v ; not a comment\r\n",
                             "  [ spaced ]  \nkey=\n"}) {
        EXPECT_EQ(IniFile(text).text(), text) << text;
    }
}

TEST(IniFile, ValuesCannotSplitAnEntry) {
    IniFile ini;
    ini.set("a", "k", "1\nb=2");
    EXPECT_EQ(ini.text(), "[a]\nk=1\n");
}

} // namespace

namespace {

// Found by the fuzzer: a stray CR made a second save write other endings.
TEST(IniFile, StrayCarriageReturnsKeepASecondSaveIdentical) {
    for (const char* text : {"\r\r", "a\nb\r", "a\nb\r\nc\n", "a\r\nb\nc\r"}) {
        IniFile once(text);
        once.set("s", "k", "1");
        IniFile twice(once.text());
        twice.set("s", "k", "1");
        EXPECT_EQ(twice.text(), once.text()) << text;
    }
    IniFile lf("a=1\r\n"); // a CR LF file, ending kept
    EXPECT_TRUE(lf.usesCrLf());
    IniFile mixed("[s]\nk=1\r\n");
    EXPECT_FALSE(mixed.usesCrLf());
    EXPECT_EQ(mixed.get("s", "k"), "1");
    EXPECT_EQ(mixed.text(), "[s]\nk=1\r\n"); // the CR of an LF file is content
}

} // namespace

namespace {

TEST(IniFile, AByteOrderMarkIsNotPartOfTheFirstSectionName) {
    IniFile ini("\xEF\xBB\xBF[General]\nCOM port=2\n");
    EXPECT_EQ(ini.get("General", "COM port"), "2");
    ini.set("General", "COM port", "3");
    EXPECT_EQ(ini.text(), "\xEF\xBB\xBF[General]\nCOM port=3\n");
}

} // namespace
