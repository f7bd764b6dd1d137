#include "diag/output_file.h"

#include <cstdio>
#include <fstream>

#include "platform/platform.h"

bool writeOutputFile(const std::string& path, const std::string& content) {
    const std::string temporary = path + ".tmp~";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            return false;
        }
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        out.close();
        if (!out) {
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (!platform::replaceFile(temporary, path)) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}
