#include "config/language.h"

#include <pugixml.hpp>

#include "platform/reg_file.h"

namespace corvane {

struct LanguageTable::Impl {
    pugi::xml_document doc;
    pugi::xml_node formData;  // null when no document or no FORM_DATA
};

LanguageTable::LanguageTable() : impl_(std::make_unique<Impl>()) {}
LanguageTable::~LanguageTable() = default;
LanguageTable::LanguageTable(LanguageTable&&) noexcept = default;
LanguageTable& LanguageTable::operator=(LanguageTable&&) noexcept = default;

void LanguageTable::Load(const std::string& path) {
    if (std::optional<std::string> data = ReadTextFile(path)) LoadFromBytes(std::move(*data));
}

void LanguageTable::LoadFromBytes(std::string data) {
    // The files were always read in text mode: a 0x1A byte ends the data and
    // CR LF reads as LF. That only makes sense for 8-bit text; UTF-16 files
    // (recognised by their byte-order mark) are taken as they are.
    bool utf16 = data.size() >= 2 && ((data[0] == '\xFF' && data[1] == '\xFE') ||
                                      (data[0] == '\xFE' && data[1] == '\xFF'));
    if (!utf16) {
        if (size_t eof = data.find('\x1A'); eof != std::string::npos) data.resize(eof);
        std::string text;
        text.reserve(data.size());
        for (size_t i = 0; i < data.size(); ++i) {
            if (data[i] == '\r' && i + 1 < data.size() && data[i + 1] == '\n') continue;
            text += data[i];
        }
        data.swap(text);
    }
    impl_->doc.reset();
    impl_->formData = pugi::xml_node();
    // On a syntax error pugixml keeps the nodes it built before the error, so a
    // document cut off after FORM_DATA still yields its texts.
    impl_->doc.load_buffer(data.data(), data.size(), pugi::parse_default, pugi::encoding_auto);
    impl_->formData = impl_->doc.document_element().child("FORM_DATA");
}

bool LanguageTable::HasFormData() const { return static_cast<bool>(impl_->formData); }

std::string LanguageTable::GetText(std::string_view section, std::string_view key,
                                   std::string_view defaultText) const {
    if (!impl_->formData) return std::string(defaultText);
    pugi::xml_node s = impl_->formData.child(std::string(section).c_str());
    pugi::xml_node k = s.child(std::string(key).c_str());
    if (!k) return std::string(defaultText);
    return k.text().get();
}

LanguageTable& GlobalLanguageTable() {
    static LanguageTable table;
    return table;
}

std::string GetLangText(std::string_view section, std::string_view key, std::string_view defaultText) {
    return GlobalLanguageTable().GetText(section, key, defaultText);
}

}  // namespace corvane
