#include "platform/reg_file.h"

#include <gtest/gtest.h>

#include "common/temp_dir.h"

using namespace corvane;

TEST(RegFile, ParsesEveryValueForm) {
    RegFile f = ParseRegText(
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Test]\r\n"
        "\"Text\"=\"C:\\\\dir\\\\\\\"q\\\"\"\r\n"
        "\"Num\"=dword:0000002a\r\n"
        "\"Exp\"=hex(2):25,00,41,00,\\\r\n  25,00,00,00\r\n"
        "\"Bin\"=hex:01,02\r\n"
        "\"Multi\"=hex(7):41,00,00,00,00,00\r\n"
        "@=\"default\"\r\n");
    RegKey* k = f.FindKey("hkey_local_machine\\software\\test");
    ASSERT_NE(k, nullptr);
    ASSERT_EQ(k->values.size(), 6u);
    EXPECT_EQ(k->Find("Text")->type, kRegSz);
    EXPECT_EQ(k->Find("Text")->data, MakeStringValue("", "C:\\dir\\\"q\"").data);
    EXPECT_EQ(k->Find("num")->data, (std::vector<uint8_t>{42, 0, 0, 0}));
    EXPECT_EQ(k->Find("Exp")->type, kRegExpandSz);
    EXPECT_EQ(k->Find("Exp")->data, (std::vector<uint8_t>{0x25, 0, 0x41, 0, 0x25, 0, 0, 0}));
    EXPECT_EQ(k->Find("Bin")->type, kRegBinary);
    EXPECT_EQ(k->Find("Multi")->type, 7u);
    EXPECT_NE(k->Find(""), nullptr);
}

TEST(RegFile, SkipsBrokenLinesAndKeepsTheRest) {
    RegFile f = ParseRegText(
        "[K]\n\"A\"=dword:1\n\"B\"=dword:zz\n\"C\"=dword:123456789\n\"D\"=\"unterminated\n"
        "garbage line\n\"E\"=hex:0g\n\"F\"=-\n[broken\n\"G\"=dword:2\n[K]\n\"H\"=dword:3\n");
    RegKey* k = f.FindKey("K");
    ASSERT_NE(k, nullptr);
    EXPECT_NE(k->Find("A"), nullptr);
    for (const char* bad : {"B", "C", "D", "E", "F", "G"}) EXPECT_EQ(k->Find(bad), nullptr) << bad;
    EXPECT_NE(k->Find("H"), nullptr);  // a key named twice is one key
    EXPECT_EQ(f.keys.size(), 1u);
}

TEST(RegFile, FormatThenParseKeepsEveryValue) {
    RegFile f;
    RegKey& k = f.AddKey("HKEY_LOCAL_MACHINE\\Software\\Corvane\\CorvanePlayer");
    k.Set(MakeStringValue("LangFile", "/opt/语言/\"x\"\\eng.lng"));
    k.Set(MakeStringValue("Exp", "%HOME%/x", kRegExpandSz));
    k.Set(MakeStringValue("Raw", "latin1 \xE9"));
    k.Set(MakeDwordValue("ShowMap", 0xFFFFFFFF));
    k.Set(RegValue{"Odd", kRegSz, {0x41, 0x00, 0x00}});  // not a clean string: kept as hex
    k.Set(RegValue{"Bin", kRegBinary, {}});
    RegFile back = ParseRegText(FormatRegText(f));
    ASSERT_EQ(back.keys.size(), 1u);
    ASSERT_EQ(back.keys[0].values.size(), k.values.size());
    for (size_t i = 0; i < k.values.size(); ++i) {
        EXPECT_EQ(back.keys[0].values[i].name, k.values[i].name);
        EXPECT_EQ(back.keys[0].values[i].type, k.values[i].type) << k.values[i].name;
        EXPECT_EQ(back.keys[0].values[i].data, k.values[i].data) << k.values[i].name;
    }
}

TEST(RegFile, AtomicWriteReplacesAndCreatesFolders) {
    test::TempDir dir;
    std::string p = dir.File("a/b/settings.reg");
    ASSERT_TRUE(WriteFileAtomically(p, "one"));
    ASSERT_TRUE(WriteFileAtomically(p, "two"));
    EXPECT_EQ(*ReadTextFile(p), "two");
    size_t files = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.path() / "a/b")) files += e.is_regular_file();
    EXPECT_EQ(files, 1u);  // no temporary left behind
    EXPECT_FALSE(WriteFileAtomically("/proc/corvane-cannot-write/x.reg", "x"));
}
