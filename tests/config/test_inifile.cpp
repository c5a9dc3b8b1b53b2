#include "config/inifile.h"

#include "tests/support/tempdir.h"
#include "text/codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

using namespace zorvane::config;
using zorvane::testing::readBytes;
using zorvane::testing::TempDir;
using zorvane::testing::writeBytes;
using zorvane::text::utf8ToGb18030;

TEST(IniFile, MissingFileReadsEmptyAndFirstWriteCreatesIt) {
    TempDir dir;
    const auto file = dir.path() / "a.ini";
    EXPECT_EQ(readIniValue(file, "set", "预警"), "");
    EXPECT_TRUE(readIniSection(file, "set").empty());
    EXPECT_FALSE(std::filesystem::exists(file));
    ASSERT_TRUE(writeIniValue(file, "set", "预警", "5"));
    // GB18030 bytes with CRLF line ends, as the profile functions write them.
    EXPECT_EQ(readBytes(file), utf8ToGb18030("[set]\r\n预警=5\r\n"));
    EXPECT_EQ(readBytes(file), "[set]\r\n\xD4\xA4\xBE\xAF=5\r\n");
    EXPECT_EQ(readIniValue(file, "set", "预警"), "5");
}

TEST(IniFile, PlacementOfNewKeysAndSectionsAndInPlaceReplacement) {
    TempDir dir;
    const auto file = dir.path() / "a.ini";
    ASSERT_TRUE(writeIniValue(file, "one", "a", "1"));
    ASSERT_TRUE(writeIniValue(file, "two", "x", "9"));
    ASSERT_TRUE(writeIniValue(file, "one", "b", "2"));
    ASSERT_TRUE(writeIniValue(file, "ONE", " A ", "replaced"));
    ASSERT_TRUE(writeIniValue(file, "\t two", "y", ""));
    EXPECT_EQ(readBytes(file), "[one]\r\nA=replaced\r\nb=2\r\n[two]\r\nx=9\r\ny=\r\n");
    EXPECT_EQ(readIniValue(file, "One", "a"), "replaced");
    EXPECT_EQ(readIniValue(file, "TWO", "Y"), "");
    EXPECT_EQ(readIniValue(file, "two", "z"), "");
    EXPECT_EQ(readIniValue(file, "three", "x"), "");
    // A line end inside a value would split the line; it is stored as a blank.
    ASSERT_TRUE(writeIniValue(file, "two", "x", "a\r\nb"));
    EXPECT_EQ(readIniValue(file, "two", "x"), "a  b");
    EXPECT_EQ(readIniSection(file, "two"), (std::vector<std::string>{"x=a  b", "y="}));
}

TEST(IniFile, ReadingRulesOfHandWrittenFiles) {
    TempDir dir;
    const auto file = dir.path() / "a.ini";
    writeBytes(file, "; note\n"
                     "  [ Sec ]  \n"
                     "  key one  =  spaced value \t\n"
                     "q=\"quoted \"\n"
                     "s='single'\n"
                     "m=\"mismatched'\n"
                     "k=first\n"
                     "K=second\n"
                     "bare line\n"
                     "\n"
                     "[sec]\n"
                     "late=1\n"
                     "[other]\n"
                     "last=no line end");
    EXPECT_EQ(readIniValue(file, "sec", "KEY ONE"), "spaced value");
    EXPECT_EQ(readIniValue(file, "sec", "q"), "quoted ");
    EXPECT_EQ(readIniValue(file, "sec", "s"), "single");
    EXPECT_EQ(readIniValue(file, "sec", "m"), "\"mismatched'");
    // The first of two equal keys, and the first of two equal sections, count.
    EXPECT_EQ(readIniValue(file, "sec", "k"), "first");
    EXPECT_EQ(readIniValue(file, "sec", "late"), "");
    EXPECT_EQ(readIniValue(file, "other", "last"), "no line end");
    EXPECT_EQ(readIniSection(file, "SEC"),
              (std::vector<std::string>{"key one=spaced value", "q=\"quoted \"", "s='single'",
                                        "m=\"mismatched'", "k=first", "K=second", "bare line"}));

    // A new key goes after the last line of its section, before the blank line; the
    // untouched lines keep their bytes, including the LF-only line ends.
    ASSERT_TRUE(writeIniValue(file, "sec", "new", "v"));
    ASSERT_TRUE(writeIniValue(file, "added", "n", "1"));
    EXPECT_EQ(readBytes(file), "; note\n"
                               "  [ Sec ]  \n"
                               "  key one  =  spaced value \t\n"
                               "q=\"quoted \"\n"
                               "s='single'\n"
                               "m=\"mismatched'\n"
                               "k=first\n"
                               "K=second\n"
                               "bare line\n"
                               "new=v\r\n"
                               "\n"
                               "[sec]\n"
                               "late=1\n"
                               "[other]\n"
                               "last=no line end\r\n"
                               "[added]\r\n"
                               "n=1\r\n");
}

TEST(IniFile, Utf8FileWithByteOrderMarkStaysUtf8) {
    TempDir dir;
    const auto file = dir.path() / "a.ini";
    writeBytes(file, "\xEF\xBB\xBF[m]\r\nm=/声音/闹钟.wav\r\n");
    EXPECT_EQ(readIniValue(file, "m", "m"), "/声音/闹钟.wav");
    ASSERT_TRUE(writeIniValue(file, "m", "新", "值"));
    EXPECT_EQ(readBytes(file), "\xEF\xBB\xBF[m]\r\nm=/声音/闹钟.wav\r\n新=值\r\n");
}

TEST(IniFile, LongValuesAndBrokenBytesSurvive) {
    TempDir dir;
    const auto file = dir.path() / "a.ini";
    const std::string longValue(40000, 'x');
    ASSERT_TRUE(writeIniValue(file, "s", "k", longValue));
    EXPECT_EQ(readIniValue(file, "s", "k"), longValue);
    // A byte that is no GB18030 character stays as it was when another key changes.
    writeBytes(file, "[s]\r\nodd=\x81\r\nk=1\r\n");
    ASSERT_TRUE(writeIniValue(file, "s", "k", "2"));
    EXPECT_EQ(readBytes(file), "[s]\r\nodd=\x81\r\nk=2\r\n");
}

TEST(IniFile, QuotedValuesKeepTheirQuotesAcrossSaveAndReload) {
    TempDir dir;
    const auto file = dir.path() / "a.ini";
    struct Case {
        std::string value;
        std::string reads;
    };
    const Case cases[] = {
        {"\"boss\"", "\"boss\""},
        {"'boss'", "'boss'"},
        {"\"\"", "\"\""},
        {"\"a\" and \"b\"", "\"a\" and \"b\""},
        // Blanks outside quotes are kept with the quotes that protect them.
        {" \"a b\" ", " \"a b\" "},
        {"\"open", "\"open"},
        {"x\"", "x\""},
        {"\"", "\""},
        // Without quotes the profile rules still drop the blanks around a value.
        {" plain ", "plain"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        ASSERT_TRUE(writeIniValue(file, "s", "k", c.value));
        EXPECT_EQ(readIniValue(file, "s", "k"), c.reads);
    }
    // Files written elsewhere still read the way the profile functions read them.
    writeBytes(file, "[s]\r\na=\"q\"\r\nb='q'\r\nc=\"q'\r\n");
    EXPECT_EQ(readIniValue(file, "s", "a"), "q");
    EXPECT_EQ(readIniValue(file, "s", "b"), "q");
    EXPECT_EQ(readIniValue(file, "s", "c"), "\"q'");
}

TEST(IniFile, StoringWhatAFileAlreadyHoldsKeepsItsBytes) {
    TempDir dir;
    const auto file = dir.path() / "a.ini";
    // A euro sign written on Windows (the single byte 0x80), a byte no code page
    // decodes, blanks around "=", quotes: none of them changes when stored again.
    const std::string windows = "[s]\r\nname=\x80\x35\r\nodd=\xFF\r\nk = v\r\nq=\"x\"\r\n";
    writeBytes(file, windows);
    EXPECT_EQ(readIniValue(file, "s", "name"), "€5");
    for (const char* key : {"name", "odd", "k", "q"}) {
        ASSERT_TRUE(writeIniValue(file, "s", key, readIniValue(file, "s", key)));
    }
    EXPECT_EQ(readBytes(file), windows);

    // A new euro sign is written the way the file already writes it.
    ASSERT_TRUE(writeIniValue(file, "s", "name", "€6"));
    EXPECT_EQ(readBytes(file), "[s]\r\nname=\x80\x36\r\nodd=\xFF\r\nk = v\r\nq=\"x\"\r\n");
    const auto other = dir.path() / "b.ini";
    ASSERT_TRUE(writeIniValue(other, "s", "name", "€6"));
    EXPECT_EQ(readBytes(other), "[s]\r\nname=\xA2\xE3\x36\r\n");
}

// A document read and written again gives back its bytes; a changed key changes only its own
// line, however the lines end and whatever bytes the others hold.
TEST(IniFile, UnchangedLinesKeepTheirBytesAndLineEnds) {
    struct Case {
        std::string bytes;
        std::string value;   // of s/k as read
        std::string changed; // the bytes after s/k = "新" and then s/k = "v2"
    };
    const std::string gbNew = utf8ToGb18030("新");
    const Case cases[] = {
        {"[s]\nk=1\r\nz=2", "1", "[s]\nk=v2\r\nz=2"},
        {"[s]\r\nk=1", "1", "[s]\r\nk=v2\r\n"},
        {"pre\r\n[s]\r\nk=\xD5\xE6\r\n\r\n[t]\r\n", "真", "pre\r\n[s]\r\nk=v2\r\n\r\n[t]\r\n"},
        // Broken bytes before and after the key, and the euro byte.
        {"[s]\r\na=\x81\r\nk=\x80\r\nb=\xFF\xD5\r\n", "€",
         "[s]\r\na=\x81\r\nk=v2\r\nb=\xFF\xD5\r\n"},
        // A lone CR is no line end.
        {"[s]\rk=0\r\nk=1\r\n", "1", "[s]\rk=0\r\nk=v2\r\n"},
        // UTF-8 with a broken line.
        {"\xEF\xBB\xBF[s]\r\nx=\xE4\xB8\r\nk=\xE7\x9C\x9F\r\n", "真",
         "\xEF\xBB\xBF[s]\r\nx=\xE4\xB8\r\nk=v2\r\n"},
        {"[s]\r\n", "", "[s]\r\nk=v2\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.bytes));
        IniDocument doc = IniDocument::parse(c.bytes);
        EXPECT_EQ(doc.serialize(), c.bytes);
        EXPECT_EQ(doc.value("S", "K"), c.value);
        doc.setValue("s", "k", "新");
        EXPECT_NE(doc.serialize().find("k=" + (c.bytes.starts_with("\xEF") ? "新" : gbNew)),
                  std::string::npos);
        doc.setValue("s", "k", "v2");
        EXPECT_EQ(doc.serialize(), c.changed);
        const IniDocument copy = doc;
        EXPECT_EQ(copy.value("s", "k"), "v2");
        EXPECT_EQ(IniDocument::parse(copy.serialize()).serialize(), c.changed);
    }
}

// Lookups by key agree with reading the section from its first line down, however many keys a
// section gains and in whatever case they are asked for: the first line of a key counts.
TEST(IniFile, KeyLookupsAgreeWithTheSectionsLines) {
    IniDocument doc =
        IniDocument::parse(std::string_view("[s]\r\nk7=hand\r\nK7=later\r\n\r\n[t]\r\n"));
    const auto firstInLines = [&](const std::string& section, const std::string& key) {
        for (const IniDocument::Entry& e : doc.sectionEntries(section)) {
            if (e.pair && e.key.size() == key.size() &&
                std::equal(key.begin(), key.end(), e.key.begin(), [](char a, char b) {
                    return std::tolower(static_cast<unsigned char>(a)) ==
                           std::tolower(static_cast<unsigned char>(b));
                })) {
                return std::string(e.value);
            }
        }
        return std::string();
    };
    EXPECT_EQ(doc.value("s", "k7"), "hand");
    // A fixed pseudo-random walk: keys in both cases, new ones added until each section holds
    // thousands, old ones replaced, each lookup checked against the lines themselves.
    std::uint32_t seed = 12345;
    const auto next = [&](std::uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % n;
    };
    for (int step = 0; step < 6000; ++step) {
        const std::string section = next(2) == 0 ? "s" : (next(2) == 0 ? "T" : "t");
        std::string key = (next(2) == 0 ? "k" : "K") + std::to_string(10 + next(1500));
        if (next(3) == 0) {
            doc.setValue(section, key, std::to_string(step));
        }
        SCOPED_TRACE(section + "/" + key);
        ASSERT_EQ(doc.value(section, key), firstInLines(section, key));
    }
    EXPECT_EQ(doc.value("S", "K7"), "hand");
    const std::vector<IniDocument::Entry> entries = doc.sectionEntries("s");
    EXPECT_GT(entries.size(), 500U);
    // Read afresh, the document gives the same answers.
    const IniDocument reread = IniDocument::parse(doc.serialize());
    for (int k = 10; k < 1510; k += 7) {
        const std::string key = "K" + std::to_string(k);
        EXPECT_EQ(reread.value("t", key), doc.value("t", key)) << key;
    }
}

TEST(IniFile, FailedWriteKeepsOldFileAndReportsFalse) {
    TempDir dir;
    const auto file = dir.path() / "a.ini";
    ASSERT_TRUE(writeIniValue(file, "s", "k", "old"));
    const std::string before = readBytes(file);
    EXPECT_FALSE(writeIniValue(dir.path() / "missing" / "a.ini", "s", "k", "v"));
    // A directory cannot be replaced by a file.
    std::filesystem::create_directory(dir.path() / "d.ini");
    EXPECT_FALSE(writeIniValue(dir.path() / "d.ini", "s", "k", "v"));
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "d.ini"));
    EXPECT_EQ(readBytes(file), before);
    // No temporary file is left behind by the failed attempts.
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 2);
}
