#include "map/map_feed.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "map/script_call.h"

using namespace corvane;

namespace {

struct Call {
    std::string function;
    std::vector<std::string> args;
};

class RecordingMap : public MapScriptTarget {
public:
    bool CallScript(const std::string& function, const std::vector<std::string>& args) override {
        calls.push_back({function, args});
        return false;  // as a map without a page: the feed must not care
    }
    std::vector<std::string> Functions() const {
        std::vector<std::string> names;
        for (const Call& c : calls) names.push_back(c.function);
        return names;
    }
    std::vector<Call> calls;
};

GroupGpsFix ShenzhenFix() {
    GroupGpsFix f;
    f.status = 'A';
    f.latitude = 2232.5;
    f.latHemisphere = 'N';
    f.longitude = 11403.2;
    f.lonHemisphere = 'E';
    f.speed = 12.5f;
    f.course = 90;
    return f;
}

using Names = std::vector<std::string>;

}  // namespace

TEST(ScriptCall, ArgumentsAreInertStringLiterals) {
    EXPECT_EQ(JsStringLiteral("Car"), "\"Car\"");
    EXPECT_EQ(JsStringLiteral(""), "\"\"");
    EXPECT_EQ(JsStringLiteral("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(JsStringLiteral("line\nnext\ttab"), "\"line\\u000anext\\u0009tab\"");
    EXPECT_EQ(JsStringLiteral("\xe4\xb8\xad"), "\"\\u4e2d\"");         // U+4E2D
    EXPECT_EQ(JsStringLiteral("\xf0\x9f\x9a\x97"), "\"\\ud83d\\ude97\"");  // a pair for U+1F697
    EXPECT_EQ(JsStringLiteral("\xe2\x80\xa8"), "\"\\u2028\"");  // line separator ends a line in older engines
    EXPECT_EQ(JsStringLiteral("A\xb3Z"), "\"A\\udcb3Z\"");  // a byte that is not UTF-8
    EXPECT_EQ(JsStringLiteral("</script>"), "\"</script>\"");
}

TEST(ScriptCall, NameThatTriesToBreakOutStaysOneArgument) {
    auto script = BuildScriptCall("insertVehicle", {"\");alert(1);(\""});
    ASSERT_TRUE(script);
    EXPECT_EQ(*script,
              "try{if(typeof window.insertVehicle==='function')"
              "window.insertVehicle(\"\\\");alert(1);(\\\"\");}catch(e){}");
    auto two = BuildScriptCall("selectVehicleEx", {"Car", "0"});
    ASSERT_TRUE(two);
    EXPECT_EQ(*two, "try{if(typeof window.selectVehicleEx==='function')window.selectVehicleEx(\"Car\",\"0\");}"
                    "catch(e){}");
    EXPECT_TRUE(BuildScriptCall("$_x9", {}));
    for (const char* bad : {"", "9lives", "alert(1);f", "a.b", "a b", "f\n"}) {
        EXPECT_FALSE(BuildScriptCall(bad, {"x"})) << bad;
    }
}

TEST(MapFeed, NumbersAreWhatPrintfGivesInTheCLocale) {
    // The same digits printf gives in the C locale, for values that round both
    // ways, negatives and large magnitudes.
    const double values[] = {0, -0.5, 2, 0.05, 0.15, 0.25, 12.45, 114.0584414687317, -22.5416666666667,
                             1e15 + 0.3, 123456.0000005, 359.99999999};
    for (double v : values) {
        for (int decimals : {1, 6}) {
            char expected[64];
            std::snprintf(expected, sizeof expected, "%.*f", decimals, v);
            EXPECT_EQ(FormatFixed(v, decimals), expected) << v;
        }
    }
}

TEST(MapFeed, UpdateVehicleArgumentsInOrder) {
    Names args = UpdateVehicleArguments("Car", {114.058441468, 22.538940936}, 90, 12.5);
    EXPECT_EQ(args, (Names{"Car", "114.058441", "22.538941", "2.000000", "0", "12.5", "", ""}));
    Names still = UpdateVehicleArguments("V", {-0.125, 51.5}, 0, 0);
    EXPECT_EQ(still, (Names{"V", "-0.125000", "51.500000", "0.000000", "0", "0.0", "", ""}));
    EXPECT_EQ(UpdateVehicleArguments("V", {0, 0}, 359.5f, 80.25f)[3], "7.988889");
}

TEST(MapFeed, PlaybackRunSendsTheCallsInOrder) {
    RecordingMap map;
    CMapFeed feed(map);
    EXPECT_EQ(feed.VehicleName(), "Car");

    feed.Start("  Truck 7 \r\n");
    EXPECT_EQ(feed.VehicleName(), "Truck 7");
    ASSERT_EQ(map.calls.size(), 2u);
    EXPECT_EQ(map.calls[0].function, "insertVehicle");
    EXPECT_EQ(map.calls[0].args, Names{"Truck 7"});
    EXPECT_EQ(map.calls[1].function, "setVehiName");
    EXPECT_EQ(map.calls[1].args, (Names{"Truck 7", "Truck 7"}));

    map.calls.clear();
    GroupGpsFix none;
    feed.Tick(none, 1);
    EXPECT_TRUE(map.calls.empty());  // no fix yet: nothing at all
    EXPECT_FALSE(feed.Centred());

    feed.Tick(ShenzhenFix(), 1);
    EXPECT_EQ(map.Functions(), (Names{"setCenter", "updateVehicle", "selectVehicleEx"}));
    EXPECT_EQ(map.calls[0].args, (Names{"1", "1", "16", "1"}));
    EXPECT_EQ(map.calls[1].args, (Names{"Truck 7", "114.058441", "22.538941", "2.000000", "0", "12.5", "", ""}));
    EXPECT_EQ(map.calls[2].args, (Names{"Truck 7", "0"}));

    map.calls.clear();
    feed.Tick(ShenzhenFix(), 0);  // the second page's system
    EXPECT_EQ(map.Functions(), (Names{"updateVehicle", "selectVehicleEx"}));
    EXPECT_EQ(map.calls[0].args[1], "114.064991");
    EXPECT_EQ(map.calls[0].args[2], "22.544596");

    map.calls.clear();
    feed.Stop();
    EXPECT_EQ(map.Functions(), Names{"deleteVehicle"});
    EXPECT_EQ(map.calls[0].args, Names{"Truck 7"});

    // The next recording of the run is not centred again.
    map.calls.clear();
    feed.Start("Bus");
    feed.Tick(ShenzhenFix(), 1);
    EXPECT_EQ(map.Functions(), (Names{"insertVehicle", "setVehiName", "updateVehicle", "selectVehicleEx"}));
    EXPECT_EQ(map.calls[2].args[0], "Bus");
}

TEST(MapFeed, SouthernFixIsSentSouth) {
    RecordingMap map;
    CMapFeed feed(map);
    feed.Start("");
    GroupGpsFix f = ShenzhenFix();
    f.latHemisphere = 'S';
    f.lonHemisphere = 'W';
    feed.Tick(f, 1);
    ASSERT_EQ(map.calls.size(), 5u);
    // Outside the box: the plain signed degrees.
    EXPECT_EQ(map.calls[3].args, (Names{"", "-114.053333", "-22.541667", "2.000000", "0", "12.5", "", ""}));
}
