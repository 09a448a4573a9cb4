// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform.h"

namespace nalvexa {

// "Nalvexa.ini" with private-profile semantics: values are read as strings
// with a default, at most 99 characters; section and key names compare
// without regard to case; writing a key keeps every other line of the file.
//
// A file that exists but cannot be read as text is never written over: its
// reads give the defaults and its writes fail. A write that changes nothing
// leaves the file alone, so a read-only file serves while nothing changes.
class IniFile {
public:
    static constexpr size_t kMaxValue = 99;  // what a 100-character buffer holds

    explicit IniFile(std::string path);
    IniFile(std::string path, ITextFiles& files);

    const std::string& path() const { return path_; }
    // False, with the reason, for a file that exists and cannot be read as text.
    bool Readable(std::string& reason) const;
    std::string GetString(const std::string& section, const std::string& key,
                          const std::string& fallback) const;
    // The value however long: for lists, which a cut would change silently.
    std::string GetWhole(const std::string& section, const std::string& key, const std::string& fallback) const;
    // The value converted as a leading decimal integer.
    int32_t GetInt(const std::string& section, const std::string& key, const std::string& fallback) const;
    bool WriteString(const std::string& section, const std::string& key, const std::string& value);
    bool WriteInt(const std::string& section, const std::string& key, int32_t value);

    // Told once when writing starts to fail (with the path and the reason),
    // not again until a write has succeeded.
    void SetWriteFailureHandler(std::function<void(const std::string& text)> handler)
    {
        onWriteFailure_ = std::move(handler);
    }

private:
    struct Content;
    bool Load(Content& content, std::string& reason) const;
    bool Failed(const std::string& reason);

    std::string path_;
    ITextFiles& files_;
    std::function<void(const std::string&)> onWriteFailure_;
    bool failing_ = false;
};

}  // namespace nalvexa
