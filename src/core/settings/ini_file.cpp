// SPDX-License-Identifier: MIT
#include "settings/ini_file.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <vector>

#include "settings/decimal.h"
#include "settings/portable_text_files.h"

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

constexpr const char kByteOrderMark[] = "\xEF\xBB\xBF";

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

struct IniFile::Content {
    std::string raw;  // the file as it is
    std::vector<std::string> text;
    std::string eol = "\n";  // the file's own line end: LF, CRLF or a lone CR
    bool endsWithEol = true;  // a file whose last line has no end keeps it so
    bool bom = false;
};

IniFile::IniFile(std::string path) : IniFile(std::move(path), PortableTextFiles::instance()) {}

IniFile::IniFile(std::string path, ITextFiles& files) : path_(std::move(path)), files_(files) {}

bool IniFile::Load(Content& content, std::string& reason) const
{
    switch (files_.read(path_, content.raw, reason)) {
    case ITextFiles::ReadResult::Missing: return true;  // the defaults
    case ITextFiles::ReadResult::Failed: return false;
    case ITextFiles::ReadResult::Ok: break;
    }
    if (content.raw.find('\0') != std::string::npos) {
        reason = "not a text file";
        return false;
    }
    std::string_view rest = content.raw;
    if (rest.substr(0, 3) == kByteOrderMark) {
        content.bom = true;
        rest.remove_prefix(3);
    }
    // Every line end counts, whatever system wrote the file; the first says
    // which to write.
    bool first = true;
    while (!rest.empty()) {
        const size_t end = rest.find_first_of("\r\n");
        content.text.emplace_back(rest.substr(0, end));
        if (end == std::string_view::npos) {
            content.endsWithEol = false;
            break;
        }
        const size_t width = rest[end] == '\r' && end + 1 < rest.size() && rest[end + 1] == '\n' ? 2 : 1;
        if (first) content.eol = std::string(rest.substr(end, width));
        first = false;
        rest.remove_prefix(end + width);
    }
    return true;
}

bool IniFile::Readable(std::string& reason) const
{
    Content content;
    return Load(content, reason);
}

bool IniFile::Failed(const std::string& reason)
{
    if (!failing_ && onWriteFailure_) onWriteFailure_("cannot save settings file " + path_ + ": " + reason);
    failing_ = true;
    return false;
}

std::string IniFile::GetString(const std::string& section, const std::string& key,
                               const std::string& fallback) const
{
    return GetWhole(section, key, fallback).substr(0, kMaxValue);
}

std::string IniFile::GetWhole(const std::string& section, const std::string& key, const std::string& fallback) const
{
    Content lines;
    std::string reason;
    if (!Load(lines, reason)) return fallback;
    bool inSection = false;
    std::string name, k, v;
    for (const std::string& line : lines.text) {
        if (SectionOf(line, name)) {
            if (inSection) break;  // the first section of that name holds the values
            inSection = SameName(name, section);
            continue;
        }
        if (inSection && EntryOf(line, k, v) && SameName(k, key)) return v;
    }
    return fallback;
}

int32_t IniFile::GetInt(const std::string& section, const std::string& key, const std::string& fallback) const
{
    return ParseLeadingInt(GetString(section, key, fallback));
}

bool IniFile::WriteString(const std::string& section, const std::string& key, const std::string& value)
{
    Content lines;
    std::string reason;
    // What cannot be read must not be replaced by what little we would write.
    if (!Load(lines, reason)) return Failed(reason);
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
        if (j < text.size() && !SectionOf(text[j], name)) {
            // The same value, however the line writes it, is no change.
            if (v != value) text[j] = entry;
        } else {
            text.insert(text.begin() + static_cast<long>(lastEntry) + 1, entry);
        }
    }

    std::string out = lines.bom ? kByteOrderMark : "";
    for (size_t n = 0; n < text.size(); ++n)
        out += text[n] + (n + 1 < text.size() || lines.endsWithEol ? lines.eol : "");
    // Nothing changed: the file stays as it is (which says nothing of
    // whether it could be written, so a failure is not told again).
    if (out == lines.raw) return true;
    if (!files_.replace(path_, out, reason)) return Failed(reason);
    failing_ = false;
    return true;
}

bool IniFile::WriteInt(const std::string& section, const std::string& key, int32_t value)
{
    // A number beyond the 32-bit range was read as its end: writing that end
    // back would change what the administrator wrote, and nothing else did.
    const bool atAnEnd = value == std::numeric_limits<int32_t>::max() || value == std::numeric_limits<int32_t>::min();
    if (atAnEnd) {
        const std::string now = GetString(section, key, "");
        if (ParseLeadingInt(now) == value && now != std::to_string(value)) return true;
    }
    return WriteString(section, key, std::to_string(value));
}

}  // namespace nalvexa
