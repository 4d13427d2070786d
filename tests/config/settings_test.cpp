#include "config/settings.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "common/temp_dir.h"
#include "config/program_folder.h"
#include "platform/reg_file.h"

using namespace corvane;

namespace {

const std::string kHeader =
    "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software\\Corvane\\CorvanePlayer]\n";

struct Values {
    std::string lang;
    int calib, orbit, map, show, audio, hard;
};

Values Of(const AppSettings& s) {
    return {s.LangFile, s.GpsCalib, s.GpsOrbit, s.MapName, s.ShowMap, s.Audio, s.HardDraw};
}

}  // namespace

TEST(Settings, FirstRunWithoutFileOrKey) {
    test::TempDir dir;
    for (std::string file : {dir.File("missing.reg"),
                             dir.Write("otherkey.reg", "[HKEY_LOCAL_MACHINE\\Software\\Other]\n\"ShowMap\"=dword:0\n")}) {
        AppSettings s;
        EXPECT_FALSE(LoadSettings(s, file));
        Values v = Of(s);
        EXPECT_EQ(v.lang, ProgramFolder() + "Language/eng.lng");
        EXPECT_EQ(v.map, 1);
        EXPECT_EQ(v.show, 0);
        EXPECT_EQ(v.audio, 1);
        EXPECT_EQ(v.hard, 1);
        EXPECT_EQ(v.calib, 1);
        EXPECT_EQ(v.orbit, 0);
    }
}

TEST(Settings, EmptyKeyGivesFallbacksThatDifferFromInitialValues) {
    test::TempDir dir;
    AppSettings s;
    ASSERT_TRUE(LoadSettings(s, dir.Write("s.reg", kHeader)));
    Values v = Of(s);
    EXPECT_EQ(v.lang, "");  // no language file: built-in texts
    EXPECT_EQ(v.map, 0);
    EXPECT_EQ(v.show, 1);
    EXPECT_EQ(v.audio, 1);
    EXPECT_EQ(v.hard, 1);
    EXPECT_EQ(v.calib, 1);
    EXPECT_EQ(v.orbit, 0);
}

TEST(Settings, ValuesOfTheWrongTypeFallBack) {
    test::TempDir dir;
    AppSettings s;
    ASSERT_TRUE(LoadSettings(s, dir.Write("s.reg", kHeader +
                                                       "\"ShowMap\"=\"0\"\n"
                                                       "\"MapName\"=hex:01,00,00,00\n"
                                                       "\"Audio\"=dword:00000000\n"
                                                       "\"GpsOrbit\"=hex(4):01,00,00\n"  // dword type, 3 bytes
                                                       "\"LangFile\"=dword:00000001\n")));
    Values v = Of(s);
    EXPECT_EQ(v.show, 1);
    EXPECT_EQ(v.map, 0);
    EXPECT_EQ(v.audio, 0);
    EXPECT_EQ(v.orbit, 0);
    EXPECT_EQ(v.lang, "");
}

TEST(Settings, LangFileRules) {
    test::TempDir dir;
    auto load = [&](const std::string& line) {
        AppSettings s;
        LoadSettings(s, dir.Write("s.reg", kHeader + line + "\n"));
        return s.LangFile;
    };
    // An expand-string is used verbatim, without expanding variables.
    RegFile f;
    f.AddKey(kSettingsKey).Set(MakeStringValue("LangFile", "%HOME%/$HOME/x.lng", kRegExpandSz));
    AppSettings s;
    LoadSettings(s, dir.Write("exp.reg", FormatRegText(f)));
    EXPECT_EQ(s.LangFile, "%HOME%/$HOME/x.lng");
    EXPECT_EQ(load("\"LangFile\"=\"\""), "");
    EXPECT_EQ(load("\"LangFile\"=\"/x/中文.lng\""), "/x/中文.lng");
    EXPECT_EQ(load("\"LangFile\"=hex(1):41,00,42,00"), "");     // no terminator
    EXPECT_EQ(load("\"LangFile\"=hex(1):41,00,00"), "");        // odd byte count
    EXPECT_EQ(load("\"LangFile\"=hex(2):41,00,00,00"), "A");
    std::string longest(10203, 'a'), tooLong(10204, 'a');
    EXPECT_EQ(load("\"LangFile\"=\"" + longest + "\""), longest);
    EXPECT_EQ(load("\"LangFile\"=\"" + tooLong + "\""), "");
}

TEST(Settings, DamagedFileKeepsItsGoodLines) {
    test::TempDir dir;
    AppSettings s;
    ASSERT_TRUE(LoadSettings(s, dir.Write("s.reg", kHeader + "\"MapName\"=dword:1\n\x01\x02garbage\xFF\n"
                                                             "\"ShowMap\"=dword:\n\"Audio\"=dword:0\n\"HardDraw")));
    Values v = Of(s);
    EXPECT_EQ(v.map, 1);
    EXPECT_EQ(v.show, 1);  // broken line: fallback
    EXPECT_EQ(v.audio, 0);
    EXPECT_EQ(v.hard, 1);
}

TEST(Settings, SaveCreatesTheFileWithAllSevenValues) {
    test::TempDir dir;
    std::string file = dir.File("cfg/Corvane/CorvanePlayer.reg");
    AppSettings s;
    s.LangFile = "/usr/share/corvaneplayer/Language/chs.lng";
    s.ShowMap = 1;
    s.AssociateH264 = 1;
    ASSERT_TRUE(SaveSettings(s, file));
    EXPECT_FALSE(SaveSettings(s, dir.Write("plain", "x") + "/s.reg"));  // a file where its folder should be
    RegFile f = ParseRegText(*ReadTextFile(file));
    RegKey* k = f.FindKey(kSettingsKey);
    ASSERT_NE(k, nullptr);
    std::vector<std::string> names;
    for (auto& v : k->values) names.push_back(v.name);
    EXPECT_EQ(names, (std::vector<std::string>{"LangFile", "GpsCalib", "GpsOrbit", "MapName", "ShowMap", "Audio",
                                               "HardDraw"}));
    AppSettings back;
    ASSERT_TRUE(LoadSettings(back, file));
    Values v = Of(back);
    EXPECT_EQ(v.lang, s.LangFile);
    EXPECT_EQ(v.map, 1);
    EXPECT_EQ(v.show, 1);
    EXPECT_EQ(back.AssociateH264, 0);  // never stored
}

TEST(Settings, SaveKeepsForeignValuesAndKeys) {
    test::TempDir dir;
    std::string file = dir.Write("s.reg", kHeader + "\"WindowPos\"=dword:00000005\n\"MapName\"=dword:0\n"
                                                    "[HKEY_CURRENT_USER\\Other]\n\"X\"=\"y\"\n");
    AppSettings s;
    LoadSettings(s, file);
    s.MapName = 1;
    SaveSettings(s, file);
    RegFile f = ParseRegText(*ReadTextFile(file));
    ASSERT_NE(f.FindKey(kSettingsKey), nullptr);
    EXPECT_NE(f.FindKey(kSettingsKey)->Find("WindowPos"), nullptr);
    EXPECT_NE(f.FindKey("HKEY_CURRENT_USER\\Other"), nullptr);
    AppSettings back;
    LoadSettings(back, file);
    EXPECT_EQ(back.MapName, 1);
}

TEST(Settings, FilePathFollowsXdgConfigHome) {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", "/tmp/xdg", 1);
    EXPECT_EQ(SettingsFilePath(), "/tmp/xdg/Corvane/CorvanePlayer.reg");
    setenv("XDG_CONFIG_HOME", "", 1);
    EXPECT_NE(SettingsFilePath().find("/.config/Corvane/CorvanePlayer.reg"), std::string::npos);
    if (old) setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else unsetenv("XDG_CONFIG_HOME");
}
