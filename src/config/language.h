#pragma once
// Interface texts by (section, key) from an XML language file:
//
//   <anyroot><FORM_DATA><FORM_MAIN><TAB_ALLFILES>All Files</TAB_ALLFILES>...
//
// Every lookup carries its built-in English text, used when the file, the
// section or the key is missing, so the program is complete without a file.
#include <memory>
#include <string>
#include <string_view>

namespace corvane {

class LanguageTable {
public:
    LanguageTable();
    ~LanguageTable();
    LanguageTable(LanguageTable&&) noexcept;
    LanguageTable& operator=(LanguageTable&&) noexcept;

    // Loads the file once. A file that cannot be read leaves the table empty;
    // a document with a syntax error keeps what was read before the error.
    void Load(const std::string& path);
    // Same, from the file's bytes.
    void LoadFromBytes(std::string data);
    bool HasFormData() const;

    // The key's text (UTF-8), or the default when section or key is missing.
    std::string GetText(std::string_view section, std::string_view key, std::string_view defaultText) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The process-wide table, loaded at start-up before any other thread exists and
// only read afterwards.
LanguageTable& GlobalLanguageTable();

std::string GetLangText(std::string_view section, std::string_view key, std::string_view defaultText);

}  // namespace corvane
