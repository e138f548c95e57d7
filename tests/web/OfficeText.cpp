// Prints what the readers of Word documents and sheets make of each file named: a .docx its text,
// a .csv or .xlsx its rows of cells, or the message of a refusal. Built natively and for Node, so
// that the libraries built for WebAssembly can be compared with Debian's byte for byte.
#include <cstdio>
#include <string>

#include "analysis/FileIo.h"
#include "analysis/WordDocument.h"
#include "document/AnswerSources.h"

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string path = argv[i];
        std::printf("== %s\n", path.c_str());
        std::string bytes, text, error;
        if (tavi::IsSheetFile(path)) {
            tavi::Sheet sheet;
            if (!tavi::ReadSheet(path, sheet, error)) {
                std::printf("refused: %s\n", error.c_str());
                continue;
            }
            for (const std::vector<std::string>& row : sheet.rows) {
                for (const std::string& cell : row) std::printf("[%s]", cell.c_str());
                std::printf("\n");
            }
        } else if (!tavi::ReadRegularFile(path, bytes, error, tavi::kMaxWordXmlBytes)) {
            std::printf("unread: %s\n", error.c_str());
        } else if (!tavi::IsWordDocument(bytes)) {
            std::printf("not a Word document\n");
        } else if (tavi::ExtractWordText(bytes, text, error)) {
            std::printf("%s", text.c_str());
        } else {
            std::printf("refused: %s\n", error.c_str());
        }
    }
    return 0;
}
