#include "fuzz/fuzz_scratch.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <vector>

#include "catalog/table_catalog.h"
#include "diag/message_texts.h"
#include "fuzz/fuzz_targets.h"
#include "platform/platform.h"
#include "tables/keyed_table.h"

namespace fs = std::filesystem;

namespace fuzz_scratch {

namespace {

// Owns the scratch directories and removes them at exit.
class ScratchRoot {
  public:
    ScratchRoot() {
        std::random_device random;
        for (int attempt = 0; attempt < 100 && root_.empty(); ++attempt) {
            fs::path candidate =
                fs::temp_directory_path() / ("kwlink-fuzz-" + std::to_string(random()));
            std::error_code error;
            if (fs::create_directory(candidate, error)) {
                root_ = candidate;
            }
        }
        if (root_.empty()) {
            fuzz_targets::brokenInvariant("cannot create a scratch directory");
        }
    }
    ~ScratchRoot() {
        std::error_code error;
        fs::remove_all(root_, error);
    }

    const std::string& directory(const std::string& name) {
        auto found = directories_.find(name);
        if (found != directories_.end()) {
            return found->second;
        }
        fs::path path = root_ / name;
        std::error_code error;
        fs::create_directories(path, error);
        if (error) {
            fuzz_targets::brokenInvariant("cannot create a scratch directory");
        }
        return directories_[name] = path.string() + platform::pathSeparator();
    }

  private:
    fs::path root_;
    std::map<std::string, std::string> directories_;
};

ScratchRoot& scratchRoot() {
    static ScratchRoot root;
    return root;
}

std::vector<TableDescription> loadDescriptions() {
    TableCatalog catalog;
    const std::string directory = platform::programDirectory() + platform::pathSeparator() +
                                  "109SCALE701" + platform::pathSeparator();
    if (!catalog.loadDescriptions(directory)) {
        fuzz_targets::brokenInvariant("the model-701 descriptions beside the program do not load");
    }
    std::vector<TableDescription> result{catalog.tdes().description(),
                                         catalog.ades().description()};
    for (std::size_t i = 0; i < catalog.tableCount(); ++i) {
        result.push_back(catalog.tableAt(i)->description());
    }
    return result;
}

const std::vector<TableDescription>& descriptions() {
    static const std::vector<TableDescription> loaded = loadDescriptions();
    return loaded;
}

}  // namespace

const std::string& directory(const std::string& name) {
    return scratchRoot().directory(name);
}

void writeFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    if (!out) {
        fuzz_targets::brokenInvariant("cannot write the input file");
    }
}

void loadMessageTexts() {
    static MessageTexts texts(platform::programDirectory());
    g_messageTexts = &texts;
}

std::size_t descriptionCount() {
    return descriptions().size();
}

const TableDescription& description(std::size_t index) {
    return descriptions().at(index);
}

const TableDescription& description(const std::string& fileSign) {
    for (const TableDescription& d : descriptions()) {
        if (d.fileSign == fileSign) {
            return d;
        }
    }
    fuzz_targets::brokenInvariant("a table the fuzz entries need is not described");
}

}  // namespace fuzz_scratch
