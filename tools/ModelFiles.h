#pragma once

#include <Eigen/Core>
#include <string>
#include <vector>

namespace tavi {

// The three files of a content model as the scorer loads them.
struct ModelFileNames {
    std::string settings;    // native path of the settings file (.tcf)
    std::string dictionary;  // native path of the dictionary, in the settings file's folder
    std::string matrix;      // native path of the matrix file, in the settings file's folder
};

// The dictionary and matrix paths that belong to a settings path: the settings file's name
// with its ".tcf" extension (if any) replaced by ".dic" and ".siv". Returns false with a
// message when the names could not be written into a settings file: a name must have a
// Shift_JIS form and must not hold a blank, a tab, "#" or "%".
bool ModelFileNamesFor(const std::string& settingsPath, ModelFileNames& names, std::string& error);

// Writes a content model:
// - the dictionary: each word (Shift_JIS key form) on a line of its own, ended by a line feed;
// - the matrix file: K and N as little-endian 32-bit integers, then the N x K term matrix
//   dimension after dimension (word w of dimension d is double number (d - 1) * N + (w - 1)),
//   then the K scaling values, all little-endian IEEE 754 doubles;
// - the settings file: `remarks` as comment lines (ASCII), then the "dicfile" and "sivfile"
//   lines that name the other two files relative to its own folder.
// Each file is written under a temporary name and then renamed, the settings file last, so a
// failed run leaves no partial model behind. Returns false with a message naming the file.
bool WriteContentModel(const ModelFileNames& names, const std::vector<std::string>& words,
                       const Eigen::MatrixXd& termMatrix, const Eigen::VectorXd& scaling,
                       const std::vector<std::string>& remarks, std::string& error);

}  // namespace tavi
