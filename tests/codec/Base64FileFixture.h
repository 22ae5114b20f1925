#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "codec/Base64.h"
#include "platform/RuntimeError.h"
#include "tests/common/FileBytes.h"
#include "tests/common/ScratchFolder.h"

namespace talvo::testfiles {

// The Base64 codec with a scratch folder for its files.
class Base64Files : public ScratchTest {
protected:
    std::u16string path(const std::string& name) const { return (folder / name).u16string(); }
    void write(const std::string& name, const std::string& bytes) const { writeBytes(folder / name, bytes); }
    std::string read(const std::string& name) const { return readBytes(folder / name); }
    bool exists(const std::string& name) const { return std::filesystem::exists(folder / name); }

    // The error number an action raised, 0 when it raised none.
    static int errorNumberOf(const std::function<void()>& action)
    {
        try {
            action();
        } catch (const RuntimeError& e) {
            return e.number();
        }
        return 0;
    }

    Base64 codec_;
};

} // namespace talvo::testfiles
