// The language file loader: any bytes give a table whose lookups return the
// file's text or the built-in one.
#include <cstddef>
#include <cstdint>
#include <string>

#include "config/language.h"
#include "reader_exercise.h"

namespace {

constexpr const char* kLookups[][2] = {
    {"FORM_MAIN", "TAB_ALLFILES"}, {"FORM_MAIN", "TYPE_ALARM"},   {"FORM_MAIN", "MESSAGE_EXPORTOK"},
    {"FORM_WAIT", "BTN_CANCEL"},   {"FORM_IMPORTLOC", "BUTTON_OK"}, {"FORM_OPTION", "STATIC_H264"},
    {"FORM_ABOUT", "WINDOW_TITLE"}, {"FORM_CONVERT", "HEADER_PROGRESS"}, {"COMMON_DATA", "RENDER_HARD"},
    {"", ""}, {"FORM_DATA", "FORM_MAIN"},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using corvane::LanguageTable;
    LanguageTable table;
    table.LoadFromBytes(std::string(reinterpret_cast<const char*>(data), size));
    const std::string fallback = "built-in";
    for (const auto& lookup : kLookups) {
        std::string text = table.GetText(lookup[0], lookup[1], fallback);
        if (!table.HasFormData()) FUZZ_CHECK(text == fallback);
    }
    // Names taken from the input reach the element comparisons too.
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    table.GetText(bytes.substr(0, 9), bytes.substr(size / 2, 12), fallback);
    LanguageTable moved = std::move(table);
    moved.GetText("FORM_MAIN", "TAB_ALLFILES", fallback);
    return 0;
}
