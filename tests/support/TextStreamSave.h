#pragma once

// What the save tests share: a save as the file-access class drives it, its error,
// and the names a save may have left behind.

#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/RuntimeError.h"
#include "support/TextStream.h"

namespace talvo::textstreamsave {

// UTF-8 text, overwrite allowed.
inline void save(const std::filesystem::path& path, const std::u16string& body)
{
    TextStream s;
    s.open();
    s.setCharset(u"utf-8");
    s.writeText(body);
    s.saveToFile(path.u16string(), TextStream::CreateOverwrite);
}

// The description of the error the save throws, "saved" when there is none.
inline std::string failure(const std::filesystem::path& path, const std::u16string& body)
{
    try {
        save(path, body);
    } catch (const RuntimeError& e) {
        return e.what();
    }
    return "saved";
}

// Names in a folder besides the expected ones: what a save left behind.
inline std::vector<std::string> strays(const std::filesystem::path& where, std::initializer_list<std::string> expected)
{
    std::vector<std::string> out;
    for (const auto& entry : std::filesystem::directory_iterator(where)) {
        const std::string name = entry.path().filename().string();
        if (std::find(expected.begin(), expected.end(), name) == expected.end())
            out.push_back(name);
    }
    return out;
}

} // namespace talvo::textstreamsave
