#include "server/Upload.h"

#include <fstream>

namespace tavi::serve {

UploadedAnswers AnswersInFolder(const std::string& folder) {
    UploadedAnswers answers;
    answers.keep = [folder](size_t number, const std::string& bytes) -> std::string {
        std::ofstream out(folder + "/" + std::to_string(number) + ".txt", std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) return "データフォルダーに書き込めません。ディスクに空きがあるか、管理者に確かめてもらってください。";
        return {};
    };
    return answers;
}

}  // namespace tavi::serve
