#include "config/language.h"

#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "common/temp_dir.h"
#include "platform/reg_file.h"

using namespace corvane;

namespace {

LanguageTable Loaded(const std::string& xml) {
    LanguageTable t;
    t.LoadFromBytes(xml);
    return t;
}

}  // namespace

TEST(Language, OnlyTranslatedKeysChange) {
    LanguageTable t = Loaded("<L><FORM_DATA><FORM_MAIN><TAB_ALLFILES>Alle</TAB_ALLFILES></FORM_MAIN></FORM_DATA></L>");
    EXPECT_EQ(t.GetText("FORM_MAIN", "TAB_ALLFILES", "All Files"), "Alle");
    EXPECT_EQ(t.GetText("FORM_MAIN", "TAB_ALMFILES", "Alarm Files"), "Alarm Files");
    EXPECT_EQ(t.GetText("FORM_WAIT", "BTN_CANCEL", "Cancel"), "Cancel");
}

TEST(Language, EmptyElementGivesEmptyText) {
    LanguageTable t = Loaded("<L><FORM_DATA><S><A></A><B/></S></FORM_DATA></L>");
    EXPECT_EQ(t.GetText("S", "A", "x"), "");
    EXPECT_EQ(t.GetText("S", "B", "x"), "");
}

TEST(Language, NoFallbackBetweenSectionsAndNamesAreCaseSensitive) {
    LanguageTable t = Loaded("<L><FORM_DATA><FORM_WAIT><TAB_ALLFILES>x</TAB_ALLFILES></FORM_WAIT>"
                             "<form_main><TAB_ALLFILES>y</TAB_ALLFILES></form_main></FORM_DATA>"
                             "<FORM_MAIN><TAB_ALLFILES>outside</TAB_ALLFILES></FORM_MAIN></L>");
    EXPECT_EQ(t.GetText("FORM_MAIN", "TAB_ALLFILES", "All Files"), "All Files");
}

TEST(Language, FirstOccurrenceWinsAtEveryLevel) {
    LanguageTable t = Loaded("<L><FORM_DATA><S><K>first</K><K>second</K></S><S><J>j</J></S></FORM_DATA>"
                             "<FORM_DATA><S><Z>z</Z></S></FORM_DATA></L>");
    EXPECT_EQ(t.GetText("S", "K", "d"), "first");
    EXPECT_EQ(t.GetText("S", "J", "d"), "d");
    EXPECT_EQ(t.GetText("S", "Z", "d"), "d");
}

TEST(Language, DecodesEntitiesAndCharacterReferences) {
    LanguageTable t = Loaded("<L><FORM_DATA><S><K>a&amp;b &lt;&#x4E2D;&#25991;&gt; &quot;</K>"
                             "<C><![CDATA[<raw>]]></C></S></FORM_DATA></L>");
    EXPECT_EQ(t.GetText("S", "K", ""), "a&b <中文> \"");
    EXPECT_EQ(t.GetText("S", "C", ""), "<raw>");
}

TEST(Language, CutOffDocumentKeepsWhatWasRead) {
    const std::string full = "<?xml version=\"1.0\"?>\r\n<L>\r\n<FORM_DATA>\r\n<FORM_MAIN>\r\n"
                             "<TAB_ALLFILES>Alle</TAB_ALLFILES>\r\n<TAB_ALMFILES>Alarm</TAB_ALMFILES>\r\n"
                             "</FORM_MAIN>\r\n</FORM_DATA>\r\n";
    LanguageTable t = Loaded(full);  // closing root tag missing
    EXPECT_EQ(t.GetText("FORM_MAIN", "TAB_ALLFILES", "x"), "Alle");
    EXPECT_EQ(t.GetText("FORM_MAIN", "TAB_ALMFILES", "x"), "Alarm");
    // Cut in the middle of a later key: the keys before it still count.
    LanguageTable mid = Loaded("<L><FORM_DATA><S><A>a</A><B>b</B><C>c<");
    EXPECT_EQ(mid.GetText("S", "A", "x"), "a");
    EXPECT_EQ(mid.GetText("S", "B", "x"), "b");
    // A 0x1A byte ends the text the way the files were always read.
    LanguageTable eof = Loaded("<L><FORM_DATA><S><A>a</A>\x1A<B>b</B></S></FORM_DATA></L>");
    EXPECT_EQ(eof.GetText("S", "A", "x"), "a");
    EXPECT_EQ(eof.GetText("S", "B", "x"), "x");
}

TEST(Language, Utf16WithByteOrderMark) {
    std::u16string xml = u"\uFEFF<L><FORM_DATA><S><K>\u4E2D\u6587</K></S></FORM_DATA></L>";
    std::string bytes;
    for (char16_t c : xml) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    EXPECT_EQ(Loaded(bytes).GetText("S", "K", "x"), "中文");
}

TEST(Language, EmptyTableCases) {
    for (std::string xml : {"", "not xml at all", "<L><OTHER/></L>", "<?xml version=\"1.0\"?>"}) {
        LanguageTable t = Loaded(xml);
        EXPECT_FALSE(t.HasFormData());
        EXPECT_EQ(t.GetText("FORM_MAIN", "TAB_ALLFILES", "All Files"), "All Files");
    }
    LanguageTable missing;
    missing.Load("/nonexistent/eng.lng");
    EXPECT_EQ(missing.GetText("FORM_MAIN", "TAB_ALLFILES", "All Files"), "All Files");
}

// Every key the program asks for, with its built-in text. The shipped files
// must hold all of them.
TEST(Language, ShippedFilesHoldEveryKey) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> keys = {
        {"FORM_MAIN", {"TYPE_NORMAL", "TYPE_ALARM", "MESSAGE_CAPTUREFAIL", "MENU_CONVERT", "MENU_OPTION", "MENU_ABOUT",
                       "MENU_SNAPSHOTALL",
                       "BTN_IMPORTLOC", "BTN_SELECTDAY", "TAB_ALLFILES", "TAB_ALMFILES", "TAB_FIXFILES", "TITLE_INDEX",
                       "TITLE_TIME", "TITLE_LENS", "TITLE_INFO", "TITLE_FILE", "TITLE_STATE", "STATIC_SOUND",
                       "STATIC_SPEED", "MESSAGE_EXPORTOK"}},
        {"FORM_WAIT", {"STATIC_PROGRESS", "BTN_CANCEL", "MESSAGE_STOPSCAN"}},
        {"FORM_IMPORTLOC", {"WINDOW_TITLE", "STATIC_FILTER", "STATIC_LOCATE", "STATIC_DATE", "STATIC_ALLTIME",
                            "STATIC_STARTTIME", "STATIC_STOPTIME", "BUTTON_OK", "BUTTON_CANCEL"}},
        {"FORM_OPTION", {"WINDOW_TITLE", "STATIC_MAPS", "STATIC_MAPTYPE", "STATIC_SHOWMAP", "STATIC_GPSORBIT",
                         "STATIC_GPSCAL", "STATIC_SYSTEM", "STATIC_LANGUAGE", "STATIC_H264", "STATIC_AUDIO",
                         "BUTTON_OK", "BUTTON_CANCEL"}},
        {"FORM_ABOUT", {"WINDOW_TITLE", "BTN_CANCEL"}},
        {"FORM_CONVERT", {"WINDOW_TITLE", "STATIC_CHANNEL", "STATIC_CONDITION", "STATIC_TIME", "STATIC_TO",
                          "STATIC_OUTPUT", "STATIC_FOLDER", "BUTTON_START", "BUTTON_STOP", "BUTTON_CLOSE",
                          "HEADER_CHANNEL", "HEADER_FILE", "HEADER_PROGRESS", "STATIC_FORMAT", "FORMAT_MOSAIC",
                          "STATIC_AUDIO", "AUDIO_FIRST", "MOSAIC_PROGRESS"}},
        {"COMMON_DATA", {"RENDER_HARD", "RENDER_SOFT"}},
    };
    for (const char* file : {"eng.lng", "chs.lng"}) {
        LanguageTable t;
        t.Load(std::string(CORVANE_SOURCE_DIR) + "/resources/Language/" + file);
        ASSERT_TRUE(t.HasFormData()) << file;
        for (auto& [section, names] : keys) {
            for (auto& key : names) {
                EXPECT_NE(t.GetText(section, key, "\x01missing"), "\x01missing") << file << " " << section << "/" << key;
            }
        }
    }
    LanguageTable eng;
    eng.Load(std::string(CORVANE_SOURCE_DIR) + "/resources/Language/eng.lng");
    EXPECT_EQ(eng.GetText("FORM_MAIN", "STATIC_SOUND", ""), "Volumn");
}
