#include "tools/ModelFiles.h"

#include <bit>
#include <cstdint>
#include <filesystem>
#include <limits>

#include "analysis/Encoding.h"
#include "analysis/FileIo.h"

namespace tavi {
namespace {

void AppendInt32(std::string& bytes, int32_t value) {
    uint32_t u = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>(u >> (8 * i) & 0xFF));
}

void AppendDouble(std::string& bytes, double value) {
    uint64_t u = std::bit_cast<uint64_t>(value);
    for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<char>(u >> (8 * i) & 0xFF));
}

// The Shift_JIS form of a file name for a settings line, or false with a message.
bool SettingsName(const std::string& nativeName, std::string& sjis, std::string& error) {
    if (!NativePathToSjis(nativeName, sjis)) {
        error = nativeName + ": the file name has no Shift_JIS form";
        return false;
    }
    if (sjis.empty() || sjis.find_first_of(" \t#%") != std::string::npos) {
        error = nativeName + ": a model file name must not be empty or hold a blank, a tab, '#' or '%'";
        return false;
    }
    return true;
}

}  // namespace

bool ModelFileNamesFor(const std::string& settingsPath, ModelFileNames& names, std::string& error) {
    std::filesystem::path settings(settingsPath);
    if (!settings.has_filename()) {
        error = settingsPath + ": names a folder, not a settings file";
        return false;
    }
    std::filesystem::path stem = settings.extension() == ".tcf" ? settings.stem() : settings.filename();
    std::filesystem::path folder = settings.parent_path();
    names.settings = settings.string();
    names.dictionary = (folder / stem).string() + ".dic";
    names.matrix = (folder / stem).string() + ".siv";
    std::string unused;
    return SettingsName(settings.filename().string(), unused, error) &&
           SettingsName(stem.string() + ".dic", unused, error);
}

bool WriteContentModel(const ModelFileNames& names, const std::vector<std::string>& words,
                       const Eigen::MatrixXd& termMatrix, const Eigen::VectorXd& scaling,
                       const std::vector<std::string>& remarks, std::string& error) {
    const Eigen::Index n = termMatrix.rows();
    const Eigen::Index k = termMatrix.cols();
    if (static_cast<size_t>(n) != words.size() || scaling.size() != k || k < 1 ||
        n > std::numeric_limits<int32_t>::max()) {
        error = names.matrix + ": the term matrix does not fit the dictionary and scaling vector";
        return false;
    }

    std::string dictionary;
    for (const std::string& word : words) {
        dictionary += word;
        dictionary += '\n';
    }

    std::string matrix;
    matrix.reserve(8 + 8 * static_cast<size_t>(k) * (static_cast<size_t>(n) + 1));
    AppendInt32(matrix, static_cast<int32_t>(k));
    AppendInt32(matrix, static_cast<int32_t>(n));
    for (Eigen::Index d = 0; d < k; ++d)
        for (Eigen::Index w = 0; w < n; ++w) AppendDouble(matrix, termMatrix(w, d));
    for (Eigen::Index d = 0; d < k; ++d) AppendDouble(matrix, scaling(d));

    std::string dictionaryName;
    std::string matrixName;
    if (!SettingsName(std::filesystem::path(names.dictionary).filename().string(), dictionaryName, error) ||
        !SettingsName(std::filesystem::path(names.matrix).filename().string(), matrixName, error))
        return false;
    std::string settings;
    for (const std::string& remark : remarks) settings += "# " + remark + "\n";
    settings += "dicfile " + dictionaryName + "\n";
    settings += "sivfile " + matrixName + "\n";

    return WriteFileAtomically(names.dictionary, dictionary, error) &&
           WriteFileAtomically(names.matrix, matrix, error) && WriteFileAtomically(names.settings, settings, error);
}

}  // namespace tavi
