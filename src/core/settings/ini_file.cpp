#include "settings/ini_file.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "settings/decimal.h"

namespace nalvexa {

namespace {

std::string Trim(const std::string& s)
{
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

bool SameName(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

struct Lines {
    std::vector<std::string> text;
    bool crlf = false;
};

Lines Load(const std::string& path)
{
    Lines lines;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
            lines.crlf = true;
        }
        lines.text.push_back(line);
    }
    return lines;
}

// The section name of a "[name]" line, or false.
bool SectionOf(const std::string& line, std::string& name)
{
    std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[') return false;
    size_t close = t.find(']');
    if (close == std::string::npos) return false;
    name = Trim(t.substr(1, close - 1));
    return true;
}

// The key and value of a "key=value" line, or false.
bool EntryOf(const std::string& line, std::string& key, std::string& value)
{
    size_t eq = line.find('=');
    if (eq == std::string::npos) return false;
    key = Trim(line.substr(0, eq));
    if (key.empty() || key[0] == ';') return false;
    value = Trim(line.substr(eq + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return true;
}

}  // namespace

std::string IniFile::GetString(const std::string& section, const std::string& key,
                               const std::string& fallback) const
{
    Lines lines = Load(path_);
    bool inSection = false;
    std::string name, k, v;
    for (const std::string& line : lines.text) {
        if (SectionOf(line, name)) {
            if (inSection) break;  // the first section of that name holds the values
            inSection = SameName(name, section);
            continue;
        }
        if (inSection && EntryOf(line, k, v) && SameName(k, key)) return v.substr(0, kMaxValue);
    }
    return fallback.substr(0, kMaxValue);
}

int32_t IniFile::GetInt(const std::string& section, const std::string& key, const std::string& fallback) const
{
    return ParseLeadingInt(GetString(section, key, fallback));
}

bool IniFile::WriteString(const std::string& section, const std::string& key, const std::string& value)
{
    Lines lines = Load(path_);
    std::vector<std::string>& text = lines.text;
    const std::string entry = key + "=" + value;
    std::string name, k, v;
    size_t i = 0;
    for (; i < text.size(); ++i)
        if (SectionOf(text[i], name) && SameName(name, section)) break;
    if (i == text.size()) {
        if (!text.empty() && !Trim(text.back()).empty()) text.emplace_back();
        text.push_back("[" + section + "]");
        text.push_back(entry);
    } else {
        size_t lastEntry = i;
        size_t j = i + 1;
        for (; j < text.size() && !SectionOf(text[j], name); ++j) {
            if (EntryOf(text[j], k, v) && SameName(k, key)) break;
            if (!Trim(text[j]).empty()) lastEntry = j;
        }
        if (j < text.size() && !SectionOf(text[j], name))
            text[j] = entry;
        else
            text.insert(text.begin() + static_cast<long>(lastEntry) + 1, entry);
    }

    std::error_code ec;
    std::filesystem::path target(path_);
    if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ec);
    // Written beside the file and renamed over it, so a crash never leaves half a file.
    std::string temp = path_ + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        const char* eol = lines.crlf ? "\r\n" : "\n";
        for (const std::string& line : text) out << line << eol;
        if (!out.flush()) return false;
    }
    std::filesystem::rename(temp, target, ec);
    return !ec;
}

bool IniFile::WriteInt(const std::string& section, const std::string& key, int32_t value)
{
    return WriteString(section, key, std::to_string(value));
}

}  // namespace nalvexa
