// SPDX-License-Identifier: MIT
#include "settings/portable_text_files.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace nalvexa {

namespace fs = std::filesystem;

PortableTextFiles& PortableTextFiles::instance()
{
    static PortableTextFiles files;
    return files;
}

ITextFiles::ReadResult PortableTextFiles::read(const std::string& path, std::string& text, std::string& reason) const
{
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found) return ReadResult::Missing;
    if (fs::is_directory(status)) {
        reason = "Is a directory";
        return ReadResult::Failed;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        reason = std::strerror(errno);
        return ReadResult::Failed;
    }
    text.assign(std::istreambuf_iterator<char>(in), {});
    if (in.bad()) {
        reason = "Input/output error";
        return ReadResult::Failed;
    }
    return ReadResult::Ok;
}

bool PortableTextFiles::replace(const std::string& path, const std::string& text, std::string& reason)
{
    std::error_code ec;
    fs::path target = fs::is_symlink(path, ec) ? fs::weakly_canonical(path, ec) : fs::path(path);
    if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
    // A new file in its place would not ask the old one's permission.
    if (fs::exists(target, ec) && (fs::status(target, ec).permissions() & fs::perms::owner_write) == fs::perms::none) {
        reason = std::strerror(EACCES);
        return false;
    }
    const fs::path temp = target.string() + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) {
            reason = std::strerror(errno);
            return false;
        }
        out << text;
        if (!out.flush()) {
            reason = "cannot write";
            out.close();
            fs::remove(temp, ec);
            return false;
        }
    }
    if (fs::exists(target, ec)) fs::permissions(temp, fs::status(target, ec).permissions(), ec);
    fs::rename(temp, target, ec);
    if (ec) {
        reason = ec.message();
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

}  // namespace nalvexa
