#pragma once

#include <cstdint>
#include <string>

namespace nalvexa {

// "Nalvexa.ini" with private-profile semantics: values are read as strings
// with a default, at most 99 characters; section and key names compare
// without regard to case; writing a key keeps every other line of the file.
class IniFile {
public:
    static constexpr size_t kMaxValue = 99;  // what a 100-character buffer holds

    explicit IniFile(std::string path) : path_(std::move(path)) {}

    const std::string& path() const { return path_; }
    std::string GetString(const std::string& section, const std::string& key,
                          const std::string& fallback) const;
    // The value converted as a leading decimal integer.
    int32_t GetInt(const std::string& section, const std::string& key, const std::string& fallback) const;
    bool WriteString(const std::string& section, const std::string& key, const std::string& value);
    bool WriteInt(const std::string& section, const std::string& key, int32_t value);

private:
    std::string path_;
};

}  // namespace nalvexa
